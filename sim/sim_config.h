// The simulated rig's settings, from environment variables HALVANE_SIM_* read once when the library
// loads. A malformed value is never fatal: it is reported as a problem and its default stays.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/call_selector.h"
#include "sim/bus_timing.h"
#include "sim/export_id.h"

namespace halvane::sim {

inline constexpr int kNodeCount = 2;  // nodes 1 and 2

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
  // Nodes whose PCAN_GetMotorPos answers, while a move runs, the counter where the move began.
  std::array<bool, kNodeCount> positionAtRestOnly{};
  // The library answers a position it refreshed from the node at most this often: reads repeat
  // while the wheel turns. Zero: every read is fresh.
  Duration positionRefresh{};
  // Nodes whose position reads waver by one count, as an encoder-fed counter does at rest.
  std::array<bool, kNodeCount> positionWavers{};
  // Status reports reach the library's callback this long after they happen (those a call causes,
  // after its bus time); none: at once, inside the call that causes them.
  std::optional<Duration> reportDelay;
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

// X(constant, name): every setting the rig reads, written once. Each is the environment variable
// HALVANE_SIM_<name>.
#define HALVANE_SIM_SETTINGS(X)               \
  X(kVarTimeScale, TIME_SCALE)                \
  X(kVarOnlineDelay, ONLINE_DELAY_MS)         \
  X(kVarOffline, OFFLINE)                     \
  X(kVarNoSwitch, NO_SWITCH)                  \
  X(kVarStartAngle, START_ANGLE)              \
  X(kVarFail, FAIL)                           \
  X(kVarLoseRest, LOSE_REST)                  \
  X(kVarStaleRest, STALE_REST)                \
  X(kVarStatusPeriod, STATUS_PERIOD_MS)       \
  X(kVarPositionLag, POSITION_LAG_MS)         \
  X(kVarPositionAtRest, POSITION_AT_REST)     \
  X(kVarPositionRefresh, POSITION_REFRESH_MS) \
  X(kVarPositionWaver, POSITION_WAVER)        \
  X(kVarReportDelay, REPORT_DELAY_MS)         \
  X(kVarTrace, TRACE)                         \
  X(kVarView, VIEW)                           \
  X(kVarReplay, REPLAY)

#define HALVANE_SIM_SETTING_NAME(constant, name) \
  inline constexpr char constant[] = "HALVANE_SIM_" #name;
HALVANE_SIM_SETTINGS(HALVANE_SIM_SETTING_NAME)
#undef HALVANE_SIM_SETTING_NAME

inline constexpr const char* kSettingNames[] = {
#define HALVANE_SIM_SETTING_ENTRY(constant, name) constant,
    HALVANE_SIM_SETTINGS(HALVANE_SIM_SETTING_ENTRY)
#undef HALVANE_SIM_SETTING_ENTRY
};

ParsedConfig parseConfig(const Environment& environment);

// One line naming every setting in force, for the trace.
std::string describeConfig(const SimConfig& config);

}  // namespace halvane::sim
