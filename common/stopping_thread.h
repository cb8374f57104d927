// A thread that waits on a condition variable for work, asked to stop and joined when it goes: the
// stop-and-join our waiting threads need, written once. Not std::jthread: in the 64-bit MinGW
// build under Wine its stop callbacks now and then never returned, and a destructor hung.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace halvane {

class StoppingThread {
 public:
  // `mutex` and `wake` are the ones the thread waits with.
  StoppingThread(std::mutex& mutex, std::condition_variable& wake) : mutex_(mutex), wake_(wake) {}
  ~StoppingThread() {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  StoppingThread(const StoppingThread&) = delete;
  StoppingThread& operator=(const StoppingThread&) = delete;

  // Throws std::system_error when no thread can be started.
  template <class Body>
  void start(Body body) {
    thread_ = std::thread(std::move(body));
  }
  bool started() const { return thread_.joinable(); }
  std::thread::id id() const { return thread_.get_id(); }
  // Read with the mutex held; the thread's wait ends on it.
  bool stopping() const { return stopping_; }

 private:
  std::mutex& mutex_;
  std::condition_variable& wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace halvane
