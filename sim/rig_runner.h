// Runs the rig: every call is handed to the rig's own thread, which reads the clock, moves the
// model on to that moment, answers, and then makes the callbacks and writes the trace in order;
// the calling thread then blocks for the call's bus time. Between calls the thread wakes by itself
// while a motor turns or a node is due to come online. The thread starts with the first call.
//
// In Threading::Inline (the tests) there is no thread: each call, and each pump(), does that work
// on the calling thread, at the fake clock's time. A call made from inside a callback is handled
// the same way, on the rig's thread, so it cannot deadlock.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "common/stopping_thread.h"
#include "sim/delayed_reports.h"
#include "sim/rig_core.h"
#include "sim/rig_snapshot.h"
#include "sim/sim_platform.h"

namespace halvane::sim {

class RigRunner {
 public:
  enum class Threading { OwnThread, Inline };

  RigRunner(const SimConfig& config, SimPlatform& platform, TraceSink* trace, Threading threading);
  RigRunner(const RigRunner&) = delete;
  RigRunner& operator=(const RigRunner&) = delete;
  // The thread, destroyed first, is stopped and joined; the library never destroys its runner.
  ~RigRunner() = default;

  // One export call; writes the out-value, returns the result.
  int call(Request request);

  // Inline only: the rig's own work up to the platform's present time.
  void pump();

  // A trace line from the loading thread (configuration problems).
  void traceEvent(const std::string& text);

  std::optional<Duration> nextWake();

  // The rig's state as last published, for watchers that must not hold up a call.
  SnapshotBoard& snapshots() { return board_; }
  // A fault made by hand; handed to the rig's thread, never waited for (Inline: done at once).
  void inject(const HandFault& fault);

 private:
  struct Pending {
    Request* request = nullptr;
    Answer answer;
    bool done = false;
  };

  void ensureThread();
  void threadMain();
  Answer process(Request& request, Outbox& out);
  void deliver(const Outbox& out, const EventCallbacks& callbacks, Duration time);
  void write(Duration time, unsigned long threadId, const std::string& text);
  bool onOwnThread() const;
  // With the lock held: the reports held back that are due, the model to `now`, the faults made by
  // hand since the last work; what is to be held back is taken out again.
  void advanceTo(Duration now, Outbox& out);
  // With the lock held: faults made by hand since the last work, then the state for watchers.
  void applyHandFaults(Outbox& out);
  void publish();

  SimPlatform& platform_;
  TraceSink* trace_;
  Threading threading_;
  std::mutex mutex_;
  std::mutex traceMutex_;
  std::condition_variable wake_;
  std::condition_variable answered_;
  std::deque<Pending*> queue_;
  std::vector<HandFault> handFaults_;
  CallHistory calls_;
  SnapshotBoard board_;
  RigCore core_;
  DelayedReports delayed_;
  std::thread::id threadId_;
  StoppingThread thread_{mutex_, wake_};  // last: stopped and joined before anything it uses goes
};

}  // namespace halvane::sim
