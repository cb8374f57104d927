#include <windows.h>

#include "app/halvane_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static halvane::CHalvaneApp theApp;
  theApp.initInstance(instance);
  return 0;
}
