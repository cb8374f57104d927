// What the recording stand-in needs from its surroundings: a clock and thread ids, a place for
// its lines, and the vendor's library. Windows provides them in the DLL; the tests fake them.
#pragma once

#include <cstdint>

#include "trace/line_sink.h"

namespace halvane::tracer {

class TracerClock {
 public:
  virtual ~TracerClock() = default;
  virtual int64_t nowUs() = 0;  // since the stand-in was loaded
  virtual unsigned long threadId() = 0;
};

using LineOutput = trace::LineSink;

class VendorLookup {
 public:
  virtual ~VendorLookup() = default;
  virtual bool loaded() = 0;
  // The vendor's export, or null when the library lacks it.
  virtual void* find(const char* name) = 0;
};

}  // namespace halvane::tracer
