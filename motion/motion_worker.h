// The one thread every axis command runs on, one at a time in post order. Each command is answered
// through the reply seam, carrying the last configuration result, also when it failed.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "motion/motion_context.h"

namespace halvane {

class MotionWorker {
 public:
  MotionWorker(MotionContext& context, ReplySink& replies);
  // Finishes the command in hand, drops what is still queued and joins. The program never calls
  // this: its worker lives until the process ends.
  ~MotionWorker();
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
  void run();
  void execute(const Command& command);

  MotionContext& context_;
  ReplySink& replies_;
  int configurationResult_ = 1;
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Command> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace halvane
