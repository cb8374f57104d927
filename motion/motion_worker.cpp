#include "motion/motion_worker.h"

#include <system_error>

#include "motion/axis_configuration.h"
#include "motion/command_messages.h"
#include "motion/homing.h"
#include "motion/moves.h"

namespace halvane {

MotionWorker::MotionWorker(MotionContext& context, ReplySink& replies)
    : context_(context), replies_(replies) {}

bool MotionWorker::start() {
  try {
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void MotionWorker::post(unsigned message, CMotorAxis* axis) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(Command{message, axis});
  }
  posted_.notify_one();
}

void MotionWorker::run(std::stop_token stop) {
  for (;;) {
    Command command{};
    {
      std::unique_lock lock(mutex_);
      if (!posted_.wait(lock, stop, [this] { return !queue_.empty(); }) || stop.stop_requested()) {
        return;
      }
      command = queue_.front();
      queue_.pop_front();
    }
    execute(command);
    replies_.reply(command.message, configurationResult_);
  }
}

void MotionWorker::execute(const Command& command) {
  if (command.message == WM_AXIS_CONFIGURE) {
    configurationResult_ = configureBothAxes(context_);
    return;
  }
  if (!isCommandMessage(command.message) || command.axis == nullptr) {
    return;  // answered like any command, with no controller traffic
  }
  CMotorAxis& axis = *command.axis;
  const int index = context_.axes.indexOf(&axis);
  switch (command.message) {
    case WM_AXIS1_HOME:
    case WM_AXIS2_HOME:
      runHoming(context_, axis, index);
      break;
    case WM_AXIS1_GOTO:
    case WM_AXIS2_GOTO:
      moveToSlot(context_, axis, index);
      break;
    case WM_AXIS1_FORWARD:
    case WM_AXIS2_FORWARD:
      rotate(context_, axis, index, Rotation::Forward);
      break;
    case WM_AXIS1_REVERSE:
    case WM_AXIS2_REVERSE:
      rotate(context_, axis, index, Rotation::Reverse);
      break;
    default:
      break;
  }
}

}  // namespace halvane
