// The program's command channel: the motion worker with the context it runs in.
#pragma once

#include "motion/motion_context.h"
#include "motion/motion_worker.h"
#include "ui/command_channel.h"

namespace halvane {

class WorkerChannel final : public CommandChannel {
 public:
  WorkerChannel(const MotionContext& context, ReplySink& replies)
      : context_(context), worker_(context_, replies) {}

  bool start() override { return worker_.start(); }
  void post(unsigned message, CMotorAxis* axis) override { worker_.post(message, axis); }

 private:
  MotionContext context_;
  MotionWorker worker_;
};

}  // namespace halvane
