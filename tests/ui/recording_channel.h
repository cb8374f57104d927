// A command channel that records what the window posts, and can refuse to start.
#pragma once

#include <utility>
#include <vector>

#include "ui/command_channel.h"

namespace halvane::testing {

class RecordingChannel final : public CommandChannel {
 public:
  using Post = std::pair<unsigned, CMotorAxis*>;

  explicit RecordingChannel(bool startable = true) : startable_(startable) {}
  bool start() override {
    ++starts_;
    return startable_;
  }
  void post(unsigned message, CMotorAxis* axis) override { posts_.emplace_back(message, axis); }

  int starts() const { return starts_; }
  const std::vector<Post>& posts() const { return posts_; }

 private:
  bool startable_;
  int starts_ = 0;
  std::vector<Post> posts_;
};

}  // namespace halvane::testing
