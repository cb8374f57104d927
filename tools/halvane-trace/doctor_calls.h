// The doctor's reading of the calls: failed calls with the message that followed and whether the
// command ended there, slow calls against the bus's own time, exports the library lacks, calls
// that never returned, and crashes. Fed the records in the order of their times.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/doctor_findings.h"

namespace halvane::tools {

class CallDoctor {
 public:
  explicit CallDoctor(FindingList& findings) : findings_(findings) {}
  void call(const TraceLine& call);
  // A message box on the thread of a failed call, before its next call: the failure's message.
  bool message(const TraceLine& step);
  // The operator started something new (a click outside a message box, the window's end): a
  // failed command with nothing after it ended there.
  void commandBoundary(const TraceLine& step);
  void inFlight(const TraceLine& line);
  void crash(const TraceLine& line);
  // `throughTracer`: the trace is the recording stand-in's, which answers a missing export.
  void finish(bool whole, bool throughTracer);

 private:
  struct Failure {
    TraceLine call;
    std::optional<TraceLine> message;
  };
  struct Slow {
    int calls = 0;
    int slow = 0;
    std::vector<size_t> lines;  // the first few slow ones
    std::optional<TraceLine> longest;
    // For the longest: the bus's time of a request and answer at the speed it ran at, and the
    // limit.
    int64_t busUs = 0;
    int64_t limitUs = 0;
    int rateKbps = 0;
  };
  struct Missing {
    int calls = 0;
    size_t firstLine = 0;
  };

  void conclude(const Failure& failure, const std::string& how, std::vector<size_t> more = {});
  void timed(const TraceLine& call);

  FindingList& findings_;
  std::map<unsigned long, Failure> open_;  // per thread: a failure whose command's end is not seen
  std::map<std::string, Slow> slow_;
  std::map<std::string, Missing> missing_;
  std::optional<int> rateKbps_;  // the bus speed of the latest PCAN_OpenPort
};

}  // namespace halvane::tools
