// How the motion worker reaches the operator: failure messages and command replies.
#pragma once

#include <string_view>

namespace halvane {

// Shows a failure text modally (OK only) and returns once the operator has dismissed it.
class AlertSink {
 public:
  virtual ~AlertSink() = default;
  virtual void alert(std::string_view utf8Text) = 0;
};

// Hands a command's reply to the window and returns once the window has handled it.
class ReplySink {
 public:
  virtual ~ReplySink() = default;
  virtual void reply(unsigned message, int configurationResult) = 0;
};

}  // namespace halvane
