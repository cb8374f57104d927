// What the recording stand-in needs from its surroundings: a clock and thread ids. Windows provides
// them in the DLL; the tests fake them. Both are read on the program's and the library's threads
// for every call, so neither may lock, allocate or enter the kernel.
#pragma once

#include <cstdint>

#include "common/controller_exports.h"

namespace halvane::tracer {

class TracerClock {
 public:
  virtual ~TracerClock() = default;
  virtual int64_t nowTicks() = 0;  // the counter the trace's facts give the rate of
  virtual uint32_t threadId() = 0;
};

// The vendor's exports, looked up once when it was loaded, in the export table's order; null
// where it lacks one.
struct VendorExports {
  bool loaded = false;
  void* exports[kControllerExportCount] = {};
};

}  // namespace halvane::tracer
