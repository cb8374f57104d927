// The About box: run entirely from its template.
#pragma once

#include <windows.h>

namespace halvane {

class CAboutDlg {
 public:
  // Modal over `owner`; returns when it is closed ("确定", Enter, Esc or its close box).
  static void runModal(HINSTANCE instance, HWND owner);
};

}  // namespace halvane
