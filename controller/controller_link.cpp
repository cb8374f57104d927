#include "controller/controller_link.h"

namespace halvane {

ControllerLink::ControllerLink(LibraryLoader& loader, std::FILE* out)
    : loader_(loader), out_(out) {}

bool ControllerLink::ensureLoaded() {
  if (isLoaded()) {
    return true;
  }
  void* library = loader_.load(kControllerLibraryName);
  if (library == nullptr) {
    std::fputs("load PUSICANControl.dll FAIL!\n", out_);
    std::fflush(out_);
    return false;
  }
  library_.store(library);
  return true;
}

#define HALVANE_DEFINE_CALL(name, params, args)                                 \
  CallOutcome ControllerLink::name params {                                     \
    void* library = library_.load();                                            \
    if (library == nullptr) {                                                   \
      return CallOutcome::Failed;                                               \
    }                                                                           \
    auto export_fn = reinterpret_cast<name##_fn>(loader_.find(library, #name)); \
    if (export_fn == nullptr) {                                                 \
      return CallOutcome::Skipped;                                              \
    }                                                                           \
    return export_fn args == 0 ? CallOutcome::Done : CallOutcome::Failed;       \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_DEFINE_CALL)
#undef HALVANE_DEFINE_CALL

}  // namespace halvane
