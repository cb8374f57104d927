// The main window on Win32: the dialog procedure that turns the window's messages into calls on
// CHalvaneDlg, plus what only a real window has (icon, title font, system menu, painting while
// minimised). Everything it holds lives until the process ends; it is never destroyed, because
// destroying the worker would wait for a command that may be waiting on a motor.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "controller/controller_link.h"
#include "ui/halvane_dlg.h"
#include "ui/win32/win32_dialog_controls.h"
#include "ui/win32/win32_worker_seams.h"
#include "ui/worker_channel.h"

namespace halvane {

class MainDialog {
 public:
  // Loads the icon, then creates the axis records, which loads the vendor library.
  MainDialog(HINSTANCE instance, LibraryLoader& loader);
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // One modal run of IDD_MAIN; ends with IDOK or IDCANCEL.
  INT_PTR runModal();

 private:
  static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
  void onInitDialog();
  void addAboutItem();
  void setTitleFont();
  bool paintMinimised();

  HINSTANCE instance_;
  HICON icon_;
  ControllerLink link_;
  CHalvaneDlg dlg_;
  Win32AlertSink alerts_;
  Win32ReplySink replies_;
  WorkerChannel channel_;
  HWND window_ = nullptr;
  std::optional<Win32DialogControls> controls_;
};

}  // namespace halvane
