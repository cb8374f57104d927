#include "app/halvane_app.h"

#include <commctrl.h>

#include "controller/library_loader.h"
#include "ui/win32/main_dialog.h"

namespace halvane {

bool CHalvaneApp::initInstance(HINSTANCE instance) {
  // A PUSICANControl.dll lying in whatever folder the program was started from must never be
  // loaded in place of the installed one.
  SetDllDirectoryW(L"");

  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  // Never deleted: the bus, the worker and the library are left to the end of the process.
  auto* mainWindow = new MainDialog(instance, systemLibraryLoader());
  mainWindow->runModal();  // OK, Cancel or no window at all: the process ends the same way
  return false;
}

}  // namespace halvane
