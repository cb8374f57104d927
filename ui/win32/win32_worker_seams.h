// How the motion worker reaches the main window on Win32: failure boxes shown on the worker's own
// thread, and replies sent to the window, which the worker waits for.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "motion/worker_seams.h"

namespace halvane {

// Both are given the window once it exists, before the worker starts.
class Win32AlertSink final : public AlertSink {
 public:
  void attach(HWND owner, std::wstring caption);
  void alert(std::string_view utf8Text) override;

 private:
  std::atomic<HWND> owner_{nullptr};
  std::wstring caption_;
};

class Win32ReplySink final : public ReplySink {
 public:
  void attach(HWND window) { window_.store(window); }
  void reply(unsigned message, int configurationResult) override;

 private:
  std::atomic<HWND> window_{nullptr};
};

}  // namespace halvane
