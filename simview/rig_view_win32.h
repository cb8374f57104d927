// The simulated rig's window, "模拟转台": both wheels as they turn, and controls that make faults
// on the running rig. It runs on a thread of its own and only ever reads published snapshots, so
// it never holds up a call or a callback; closing it ends only the view.
#pragma once

#include <windows.h>

#include <functional>

#include "sim/hand_faults.h"
#include "sim/rig_snapshot.h"

namespace halvane::simview {

using FaultSink = std::function<void(const sim::HandFault&)>;

inline constexpr wchar_t kViewClass[] = L"HalvaneRigView";
// Sent to the view's window, answers the number of frames painted so far (for tests and the bench).
inline constexpr UINT kQueryFramesPainted = WM_APP + 2;

// Starts the view's thread and returns at once. Safe while the library is being loaded: the
// thread runs only once the loader has finished, and nothing here waits for it.
void startRigView(sim::SnapshotBoard& board, FaultSink inject);

}  // namespace halvane::simview
