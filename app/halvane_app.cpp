#include "app/halvane_app.h"

#include <commctrl.h>

#include <string>

#include "controller/library_loader.h"
#include "ui/win32/main_dialog.h"

namespace halvane {
namespace {

void leaveStartFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) {
    return;
  }
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L'\\') + 1);
  SetCurrentDirectoryW(folder.c_str());
}

}  // namespace

bool CHalvaneApp::initInstance(HINSTANCE instance) {
  // A PUSICANControl.dll lying in whatever folder the program was started from must never be
  // loaded in place of the installed one. Some loaders (Wine's) still search the current folder
  // after SetDllDirectoryW(L""), so the current folder also becomes the program's own, which is
  // searched first anyway; the program opens no files, so nothing else depends on it.
  SetDllDirectoryW(L"");
  leaveStartFolder();

  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  // Never deleted: the bus, the worker and the library are left to the end of the process.
  auto* mainWindow = new MainDialog(instance, systemLibraryLoader());
  mainWindow->runModal();  // OK, Cancel or no window at all: the process ends the same way
  return false;
}

}  // namespace halvane
