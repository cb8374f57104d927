// Finds the simulated rig's own window ("模拟转台") of a program run, for the view's end-to-end
// case and its benchmark.
#pragma once

#include <windows.h>

#include <string>

#include "simview/rig_view_win32.h"

namespace halvane::e2e {

struct RigViewSearch {
  DWORD processId;
  HWND found;
};

inline BOOL CALLBACK matchRigView(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<RigViewSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (owner == search->processId && std::wstring(className) == simview::kViewClass &&
      IsWindowVisible(window)) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

inline HWND findRigView(DWORD processId) {
  RigViewSearch search{processId, nullptr};
  EnumWindows(matchRigView, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace halvane::e2e
