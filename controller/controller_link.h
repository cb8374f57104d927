// Every call of the vendor library goes through here, under one rule:
// not loaded -> Failed; export missing -> Skipped (nothing called); result 0 -> Done, else Failed.
#pragma once

#include <atomic>
#include <cstdio>

#include "common/controller_exports.h"
#include "controller/library_loader.h"

namespace halvane {

enum class CallOutcome { Failed, Skipped, Done };

// Skipped counts as done for every caller but the move starts.
inline bool succeeded(CallOutcome outcome) {
  return outcome != CallOutcome::Failed;
}

class ControllerLink {
 public:
  explicit ControllerLink(LibraryLoader& loader, std::FILE* out = stdout);
  ControllerLink(const ControllerLink&) = delete;
  ControllerLink& operator=(const ControllerLink&) = delete;

  // Loads the library unless it is loaded already; a failed attempt prints one line to `out`.
  bool ensureLoaded();
  bool isLoaded() const { return library_.load() != nullptr; }

  // One method per export, named as the export, looked up by name at every call.
#define HALVANE_DECLARE_CALL(name, params, args) CallOutcome name params;
  HALVANE_CONTROLLER_EXPORTS(HALVANE_DECLARE_CALL)
#undef HALVANE_DECLARE_CALL

 private:
  LibraryLoader& loader_;
  std::FILE* out_;
  std::atomic<void*> library_{nullptr};
};

}  // namespace halvane
