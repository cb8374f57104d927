// PUSICANControl.dll, the simulated rig: the 21 exports, made from the export table, each handing
// its call to the rig. The rig is set up while the library loads (the environment is read then)
// and is never destroyed: its thread must outlive every caller, up to the end of the process.
// Unless HALVANE_SIM_VIEW=0, the rig's window opens too.
#include "common/controller_exports.h"
#include "sim/loaded_rig.h"
#include "sim/platform_hooks.h"
#include "sim/real_platform.h"
#include "simview/rig_view_win32.h"

namespace {

halvane::sim::LoadedRig& loadOnce() {
  auto* platform = new halvane::sim::RealPlatform();
  auto* rig = new halvane::sim::LoadedRig(
      halvane::sim::loadRig(*halvane::sim::processEnvironment(), *platform,
                            halvane::sim::RigRunner::Threading::OwnThread));
  halvane::sim::RigRunner& runner = *rig->runner;
  if (rig->view) {
    halvane::simview::startRigView(
        runner.snapshots(), [&runner](const halvane::sim::HandFault& f) { runner.inject(f); });
  }
  return *rig;
}

halvane::sim::LoadedRig& loaded = loadOnce();
halvane::sim::RigRunner& rig = *loaded.runner;
halvane::sim::ReplayRunner* const replay = loaded.replay.get();

// A replay says at the process's end whether it followed the recording.
struct ReplayEnd {
  ~ReplayEnd() {
    if (replay != nullptr) {
      replay->finish();
    }
  }
} replayEnd;

int answer(halvane::sim::Request request) {
  return replay != nullptr ? replay->call(request) : rig.call(request);
}

}  // namespace

#define HALVANE_SIM_DEFINE_EXPORT(name, params, args)                             \
  extern "C" __declspec(dllexport) int HALVANE_STDCALL name params {              \
    return answer(halvane::sim::RequestMaker{halvane::sim::ExportId::name} args); \
  }
HALVANE_CONTROLLER_EXPORTS(HALVANE_SIM_DEFINE_EXPORT)
#undef HALVANE_SIM_DEFINE_EXPORT
