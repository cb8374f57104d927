// What the rig has to report after a step or a call, in the order it happened: trace lines and the
// callbacks to make. The runner delivers it; the model only ever appends.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "sim/bus_timing.h"
#include "trace/trace_writer.h"

namespace halvane::sim {

inline constexpr size_t kStatusBytes = 8;
using StatusBytes = std::array<unsigned char, kStatusBytes>;

struct OutItem {
  enum class Kind {
    Event,         // a trace line "event ..." made by the rig's own thread
    Call,          // a trace line "call ..." on behalf of the calling thread
    OnlineReport,  // OnlineCallback(node, state)
    StatusReport,  // StatusCallback(node, 0, bytes, 0)
  };
  Kind kind = Kind::Event;
  std::string text;  // Event, Call: the line after "<ms> <thread id> "
  Duration time{};
  unsigned long threadId = 0;  // Call
  int node = 0;
  int state = 0;        // OnlineReport
  StatusBytes bytes{};  // StatusReport
};
using Outbox = std::vector<OutItem>;

inline void addEvent(Outbox& out, Duration now, const trace::Record& event) {
  OutItem item;
  item.kind = OutItem::Kind::Event;
  item.text = trace::formatBody(event);
  item.time = now;
  out.push_back(std::move(item));
}

inline void addOnlineReport(Outbox& out, int node, int state) {
  OutItem item;
  item.kind = OutItem::Kind::OnlineReport;
  item.node = node;
  item.state = state;
  out.push_back(std::move(item));
}

inline void addStatusReport(Outbox& out, int node, const StatusBytes& bytes) {
  OutItem item;
  item.kind = OutItem::Kind::StatusReport;
  item.node = node;
  item.bytes = bytes;
  out.push_back(std::move(item));
}

}  // namespace halvane::sim
