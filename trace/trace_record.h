// One line of a trace, as the simulated rig, the recording stand-in and every reader see it.
//
//   <ms> <thread> call <Export>(<args>) -> <result> [out=<v>] [bus=<ms>] [took=<ms>]
//   <ms> <thread> call <Export>(<args>) missing
//   <ms> <thread> callback <Name>(<args>) [-> <result>] [took=<ms>]
//   <ms> <thread> inflight <Export>(<args>) for=<ms>
//   <ms> <thread> event <what> key=value ...
//   <ms> <thread> operator <step> key=value ...
//   <ms> <thread> header key=value ...
//   <ms> <thread> crash key=value ...
//
// <ms> is milliseconds with three decimals (so microseconds) since the library loaded. Pointer
// arguments show as & (null ones as null); status bytes as the first two in hex: [00 08]. A value
// with spaces, quotes or control characters is quoted, with \" \\ \n \r \t escapes.
#pragma once

#include <array>
#include <cstdint>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halvane::trace {

enum class Kind { Call, Callback, InFlight, Event, Operator, Header, Crash };

struct Field {
  std::string key;
  std::string value;
  bool operator==(const Field&) const = default;
};

struct Record {
  Kind kind = Kind::Event;
  int64_t timeUs = 0;
  unsigned long threadId = 0;
  // The export or callback (calls, callbacks, in-flight lines) or the event's or step's name.
  std::string name;
  std::vector<std::string> args;  // as written: "5", "&", "null", "[00 08]"
  bool missing = false;           // a call of an export the library lacks
  std::optional<int> result;      // always present on a call that is not missing
  std::optional<int> out;
  std::optional<int64_t> busUs;   // the simulated rig's time on the bus
  std::optional<int64_t> tookUs;  // the call's duration as the caller saw it
  std::vector<Field> fields;      // key=value pairs of every other line, in order

  // "PCAN_SetAccel(1, 5)": what was called, without result or times.
  std::string signature() const;
  const std::string* field(std::string_view key) const;
  std::optional<int64_t> intField(std::string_view key) const;

  bool operator==(const Record&) const = default;
};

std::string_view kindName(Kind kind);

// The argument at `index` as a whole number; nothing where it is none ("&", "[00 08]").
std::optional<int> intArg(const Record& record, size_t index);
// The two status bytes an argument shows, "[01 08]"; nothing for "null" or any other text.
std::optional<std::array<unsigned char, 2>> statusBytesOf(std::string_view arg);

// The operator step that ends a whole recording: a trace without it was cut off (the program
// killed, a crash, power lost).
inline constexpr char kWindowEnd[] = "window-end";
bool recordsWindowEnd(const std::vector<Record>& records);

// Events that say the trace is not whole here: the trace file filled up (a bounded file of an
// earlier tracer), or the tracer could not have the file's whole size.
inline constexpr char kTraceFull[] = "trace-full";
inline constexpr char kTraceSpaceShort[] = "trace-space-short";

}  // namespace halvane::trace
