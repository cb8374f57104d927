// Recorders for the worker's seams: what the operator was shown, and what the window was told.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "motion/worker_seams.h"

namespace halvane::testing {

class RecordingAlerts final : public AlertSink {
 public:
  void alert(std::string_view utf8Text) override {
    std::lock_guard lock(mutex_);
    texts_.emplace_back(utf8Text);
  }
  std::vector<std::string> texts() const {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> texts_;
};

class RecordingReplies final : public ReplySink {
 public:
  using Reply = std::pair<unsigned, int>;  // message, configuration result

  void reply(unsigned message, int configurationResult) override {
    {
      std::lock_guard lock(mutex_);
      replies_.emplace_back(message, configurationResult);
    }
    arrived_.notify_all();
  }
  std::vector<Reply> replies() const {
    std::lock_guard lock(mutex_);
    return replies_;
  }
  // Waits for `count` replies in all; false when they do not come within `timeout`.
  bool waitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return replies_.size() >= count; });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<Reply> replies_;
};

}  // namespace halvane::testing
