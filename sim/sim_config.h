// The simulated rig's settings, from environment variables HALVANE_SIM_* read once when the library
// loads. A malformed value is never fatal: it is reported as a problem and its default stays.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/bus_timing.h"
#include "sim/export_id.h"

namespace halvane::sim {

inline constexpr int kNodeCount = 2;  // nodes 1 and 2

// Which calls of a rule's kind it applies to: all of them, only the Nth, or the Nth and later.
struct CallSelector {
  int64_t first = 1;
  bool onlyFirst = false;

  bool matches(int64_t count) const { return onlyFirst ? count == first : count >= first; }
};

struct FailureRule {
  ExportId exportId = ExportId::PCAN_Init;
  int node = 0;  // 0: any node (and the bus-level exports)
  CallSelector calls;
};

struct LostRestRule {
  int node = 0;  // 0: both nodes
  CallSelector reports;
};

// A node's moves whose start is accepted together with a rest report from before the move.
struct StaleRestRule {
  int node = 0;  // 0: both nodes
  CallSelector moves;
};

struct SimConfig {
  double timeScale = 1.0;
  Duration onlineDelay = std::chrono::milliseconds(300);
  std::array<bool, kNodeCount> neverOnline{};
  std::array<bool, kNodeCount> switchMissing{};
  std::array<double, kNodeCount> startAngleDegrees{90.0, 200.0};
  std::vector<FailureRule> failures;
  std::vector<LostRestRule> lostRests;
  std::vector<StaleRestRule> staleRests;
  Duration statusPeriod{};  // zero: no periodic status reports
  Duration positionLag{};   // how far behind the wheel PCAN_GetMotorPos answers
  std::string tracePath;
  bool view = true;  // the window that shows the rig
  // A recorded session that answers the calls instead of the model.
  std::string replayPath;
};

struct ConfigProblem {
  std::string variable;
  std::string value;
  std::string reason;
};

struct ParsedConfig {
  SimConfig config;
  std::vector<ConfigProblem> problems;
};

class Environment {
 public:
  virtual ~Environment() = default;
  virtual std::optional<std::string> get(const char* name) const = 0;
  virtual std::vector<std::string> names() const = 0;
};

inline constexpr char kVarTimeScale[] = "HALVANE_SIM_TIME_SCALE";
inline constexpr char kVarOnlineDelay[] = "HALVANE_SIM_ONLINE_DELAY_MS";
inline constexpr char kVarOffline[] = "HALVANE_SIM_OFFLINE";
inline constexpr char kVarNoSwitch[] = "HALVANE_SIM_NO_SWITCH";
inline constexpr char kVarStartAngle[] = "HALVANE_SIM_START_ANGLE";
inline constexpr char kVarFail[] = "HALVANE_SIM_FAIL";
inline constexpr char kVarLoseRest[] = "HALVANE_SIM_LOSE_REST";
inline constexpr char kVarStaleRest[] = "HALVANE_SIM_STALE_REST";
inline constexpr char kVarStatusPeriod[] = "HALVANE_SIM_STATUS_PERIOD_MS";
inline constexpr char kVarPositionLag[] = "HALVANE_SIM_POSITION_LAG_MS";
inline constexpr char kVarTrace[] = "HALVANE_SIM_TRACE";
inline constexpr char kVarView[] = "HALVANE_SIM_VIEW";
inline constexpr char kVarReplay[] = "HALVANE_SIM_REPLAY";

ParsedConfig parseConfig(const Environment& environment);

// One line naming every setting in force, for the trace.
std::string describeConfig(const SimConfig& config);

}  // namespace halvane::sim
