// The rig without threads or clocks: the adapter and bus, two controller nodes with their
// turntables, and the faults asked for. It is told the time (since the library loaded) and answers
// requests; what it reports (callbacks to make, trace events) goes into an outbox that the runner
// delivers in order. Everything here is deterministic.
#pragma once

#include <array>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/hand_faults.h"
#include "sim/node_model.h"
#include "sim/request.h"
#include "sim/sim_config.h"

namespace halvane::sim {

// How often the rig wakes while a motor turns (real time).
inline constexpr Duration kTickPeriod = std::chrono::milliseconds(2);

inline constexpr size_t kStatusBytes = 8;

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
  int state = 0;                                    // OnlineReport
  std::array<unsigned char, kStatusBytes> bytes{};  // StatusReport
};
using Outbox = std::vector<OutItem>;

class RigCore {
 public:
  explicit RigCore(const SimConfig& config);

  // Moves time on to `now` (earlier times count as no time at all).
  void advanceTo(Duration now, Outbox& out);
  // Handles one call at the time of the last advanceTo.
  Answer handle(const Request& request, Outbox& out);
  // When the rig next has something to do on its own; nothing while it is idle.
  std::optional<Duration> nextWake() const;

  Duration now() const { return now_; }
  const EventCallbacks& callbacks() const { return callbacks_; }
  bool busOpen() const { return busOpen_; }
  bool online(int node) const;
  const NodeState& nodeState(int node) const;
  int bitRateKbps() const { return bitRateKbps_; }
  const SimConfig& config() const { return config_; }

  // A fault made by hand, at the time of the last advanceTo (hand_faults.cpp).
  void applyHandFault(const HandFault& fault, Outbox& out);

 private:
  struct Node {
    NodeState state;
    bool online = false;
    std::optional<Duration> onlineAt;
    int64_t restReports = 0;
    int64_t movesStarted = 0;
    // The step counter over the last while, oldest first, for a position read that lags.
    std::deque<std::pair<Duration, int32_t>> positions;
  };

  Node* findNode(int node);
  void event(Outbox& out, const std::string& text) const;
  bool injectedFailure(const Request& request, Outbox& out);
  static Answer local(int result);  // handled without bus traffic
  Answer answered(int result, std::optional<int> out = std::nullopt) const;
  Answer unanswered(int result, std::optional<int> out = std::nullopt) const;
  Answer handleBus(const Request& request, Outbox& out);
  Answer handleNode(const Request& request, Node& node, int nodeId, Outbox& out);
  Answer startMove(Node& node, int nodeId, int steps, Outbox& out);
  void advanceNode(Node& node, int nodeId, double dt, Outbox& out);
  void reportRest(Node& node, int nodeId, bool bySwitch, Outbox& out);
  void bringOnline(Duration now, Outbox& out);
  void reportStatusPeriodically(Outbox& out);
  void notePosition(Node& node);
  int32_t positionRead(const Node& node) const;
  void closeBus(Outbox& out);

  SimConfig config_;
  std::array<Node, kNodeCount> nodes_{};
  std::vector<int64_t> failureCalls_;
  EventCallbacks callbacks_;
  Duration now_{};
  bool initialised_ = false;
  bool busOpen_ = false;
  int bitRateKbps_ = 0;
  std::optional<Duration> nextStatusReport_;
};

// The eight status bytes of a motion report: [0] control status, [1] bit 3 moving, [2..5] the
// step counter (little-endian), [6] the input word, [7] 0.
std::array<unsigned char, kStatusBytes> statusBytes(const NodeState& state, bool moving);

}  // namespace halvane::sim
