// Where the main window's commands go: the motion worker in the program, a recorder in the tests.
#pragma once

namespace halvane {

class CMotorAxis;

class CommandChannel {
 public:
  virtual ~CommandChannel() = default;
  // False when commands cannot run (no worker thread).
  virtual bool start() = 0;
  // `axis` is the record the command acts on, nullptr for the configuration of both.
  virtual void post(unsigned message, CMotorAxis* axis) = 0;
};

}  // namespace halvane
