// The simulated library replaying a recorded session: each call is answered from the recording and
// takes the recorded call's time; the recorded callbacks are made on the library's own thread when
// they fall due. A call the recording cannot answer is a divergence: it fails (9) and is traced
// with the nearest recorded calls. The calls and callbacks are traced as the model's are, so the
// new trace compares with the recording.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "common/stopping_thread.h"
#include "sim/replay_script.h"
#include "sim/request.h"
#include "sim/sim_platform.h"

namespace halvane::sim {

inline constexpr int kErrDiverged = kErrInjected;

class ReplayRunner {
 public:
  ReplayRunner(ReplayScript script, SimPlatform& platform, TraceSink* trace);
  ReplayRunner(const ReplayRunner&) = delete;
  ReplayRunner& operator=(const ReplayRunner&) = delete;

  int call(Request request);
  // The run's end: one line saying whether it followed the recording. Also safe while the
  // process ends, when the library's thread may be gone with the lock held.
  void finish();
  // A line from the loading thread.
  void traceEvent(const std::string& text);

 private:
  void threadMain();
  void deliver(const DueCallback& callback, const EventCallbacks& callbacks);
  // `ending`: while the process ends, when a thread that is gone may hold the lock.
  void write(const std::string& body, bool ending = false);
  std::string endLine() const;

  ReplayScript script_;
  SimPlatform& platform_;
  TraceSink* trace_;
  std::mutex mutex_;
  std::mutex traceMutex_;
  std::condition_variable wake_;
  EventCallbacks callbacks_;
  bool finished_ = false;
  StoppingThread thread_{mutex_, wake_};  // last: stopped and joined before the members it uses go
};

}  // namespace halvane::sim
