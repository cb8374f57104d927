// The stand-in's trace: a line for every call when it returns (stamped with its start and its
// duration), for every export the vendor lacks, for every callback, and one line for each call
// that has been in flight for a second, so a hang inside the vendor's library still shows.
#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/stopping_thread.h"
#include "trace/trace_record.h"
#include "tracer/tracer_seams.h"

namespace halvane::tracer {

inline constexpr int64_t kInFlightReportUs = 1'000'000;

class CallLog {
 public:
  CallLog(LineOutput& output, TracerClock& clock) : output_(output), clock_(clock) {}
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  using CallId = uint64_t;
  CallId begin(std::string name, std::vector<std::string> args);
  // `fields` adds what else the caller knows (e.g. that the vendor's library is not loaded).
  void end(CallId id, int result, std::optional<int> out, std::vector<trace::Field> fields = {});
  void missing(std::string name, std::vector<std::string> args);
  void write(trace::Record record);  // stamped now, on this thread

  // Writes a line for each call in flight for a second that has not had one; returns how long
  // until the next such call is due (nothing when none is in flight).
  std::optional<int64_t> reportOverdue();
  // A thread of its own calls reportOverdue() when due; it sleeps while nothing is in flight, and
  // is stopped and joined with the log.
  void startWatch();

 private:
  struct InFlight {
    CallId id = 0;
    int64_t startUs = 0;
    unsigned long threadId = 0;
    std::string name;
    std::vector<std::string> args;
    bool reported = false;
  };

  void watchMain();

  LineOutput& output_;
  TracerClock& clock_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<InFlight> inFlight_;
  CallId nextId_ = 1;
  bool watchIdle_ = false;
  StoppingThread watch_{mutex_,
                        changed_};  // last: stopped and joined before the members it uses go
};

}  // namespace halvane::tracer
