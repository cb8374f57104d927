// The one thread every axis command runs on, one at a time in post order. Each command is answered
// through the reply seam, carrying the last configuration result, also when it failed.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>
#include <thread>

#include "motion/motion_context.h"

namespace halvane {

class MotionWorker {
 public:
  MotionWorker(MotionContext& context, ReplySink& replies);
  // The thread, destroyed first, finishes the command in hand, drops what is still queued and is
  // joined. The program never destroys its worker: it lives until the process ends.
  ~MotionWorker() = default;
  MotionWorker(const MotionWorker&) = delete;
  MotionWorker& operator=(const MotionWorker&) = delete;

  // False when the thread cannot be started; commands cannot run then.
  bool start();
  bool isRunning() const { return thread_.joinable(); }
  // Queues a command; `axis` is the record it acts on (nullptr for the configuration).
  void post(unsigned message, CMotorAxis* axis);

 private:
  struct Command {
    unsigned message;
    CMotorAxis* axis;
  };
  void run(std::stop_token stop);
  void execute(const Command& command);

  MotionContext& context_;
  ReplySink& replies_;
  int configurationResult_ = 1;
  std::mutex mutex_;
  std::condition_variable_any posted_;
  std::deque<Command> queue_;
  std::jthread thread_;
};

}  // namespace halvane
