#include "sim/sim_config.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using testing::MapEnvironment;

ParsedConfig parse(std::map<std::string, std::string> values) {
  return parseConfig(MapEnvironment(std::move(values)));
}

TEST(SimConfig, DefaultsWithNothingSet) {
  const ParsedConfig p = parse({});
  EXPECT_TRUE(p.problems.empty());
  EXPECT_DOUBLE_EQ(p.config.timeScale, 1.0);
  EXPECT_EQ(p.config.onlineDelay, std::chrono::milliseconds(300));
  EXPECT_FALSE(p.config.neverOnline[0] || p.config.neverOnline[1]);
  EXPECT_FALSE(p.config.switchMissing[0] || p.config.switchMissing[1]);
  EXPECT_DOUBLE_EQ(p.config.startAngleDegrees[0], 90);
  EXPECT_DOUBLE_EQ(p.config.startAngleDegrees[1], 200);
  EXPECT_TRUE(p.config.failures.empty());
  EXPECT_TRUE(p.config.lostRests.empty());
  EXPECT_TRUE(p.config.tracePath.empty());
}

TEST(SimConfig, EverySettingAtOnce) {
  const ParsedConfig p = parse({{kVarTimeScale, "20"},
                                {kVarOnlineDelay, "50"},
                                {kVarOffline, "2"},
                                {kVarNoSwitch, "1"},
                                {kVarStartAngle, "1:45.5, 2:-30"},
                                {kVarFail, "PCAN_SetAccel:2@3, PCAN_OpenPort@1+,PCAN_StartRelStep"},
                                {kVarLoseRest, "1@2,*"},
                                {kVarStaleRest, "2@1+"},
                                {kVarStatusPeriod, "50"},
                                {kVarPositionLag, "1500"},
                                {kVarTrace, " C:\\trace.txt "}});
  EXPECT_TRUE(p.problems.empty());
  EXPECT_DOUBLE_EQ(p.config.timeScale, 20);
  EXPECT_EQ(p.config.onlineDelay, std::chrono::milliseconds(50));
  EXPECT_FALSE(p.config.neverOnline[0]);
  EXPECT_TRUE(p.config.neverOnline[1]);
  EXPECT_TRUE(p.config.switchMissing[0]);
  EXPECT_DOUBLE_EQ(p.config.startAngleDegrees[0], 45.5);
  EXPECT_DOUBLE_EQ(p.config.startAngleDegrees[1], -30);
  ASSERT_EQ(p.config.failures.size(), 3u);
  EXPECT_EQ(p.config.failures[0].exportId, ExportId::PCAN_SetAccel);
  EXPECT_EQ(p.config.failures[0].node, 2);
  EXPECT_TRUE(p.config.failures[0].calls.onlyFirst);
  EXPECT_EQ(p.config.failures[0].calls.first, 3);
  EXPECT_EQ(p.config.failures[1].node, 0);
  EXPECT_FALSE(p.config.failures[1].calls.onlyFirst);
  EXPECT_TRUE(p.config.failures[2].calls.matches(1));
  EXPECT_TRUE(p.config.failures[2].calls.matches(50));
  ASSERT_EQ(p.config.lostRests.size(), 2u);
  EXPECT_EQ(p.config.lostRests[0].node, 1);
  EXPECT_TRUE(p.config.lostRests[0].reports.matches(2));
  EXPECT_FALSE(p.config.lostRests[0].reports.matches(3));
  EXPECT_EQ(p.config.lostRests[1].node, 0);
  ASSERT_EQ(p.config.staleRests.size(), 1u);
  EXPECT_EQ(p.config.staleRests[0].node, 2);
  EXPECT_TRUE(p.config.staleRests[0].moves.matches(7));
  EXPECT_EQ(p.config.statusPeriod, std::chrono::milliseconds(50));
  EXPECT_EQ(p.config.positionLag, std::chrono::milliseconds(1500));
  EXPECT_EQ(p.config.tracePath, "C:\\trace.txt");
}

TEST(SimConfig, SelectorsOnlyTheNthFromTheNthOnOrEveryNth) {
  CallSelector only{2, true};
  CallSelector onward{2, false};
  EXPECT_FALSE(only.matches(1));
  EXPECT_TRUE(only.matches(2));
  EXPECT_FALSE(only.matches(3));
  EXPECT_FALSE(onward.matches(1));
  EXPECT_TRUE(onward.matches(3));
  const ParsedConfig p = parse({{kVarFail, "PCAN_GetMotorPos:2@%3"},
                                {kVarPositionRefresh, "300"},
                                {kVarPositionWaver, "*"}});
  EXPECT_TRUE(p.problems.empty());
  ASSERT_EQ(p.config.failures.size(), 1u);
  const CallSelector every = p.config.failures[0].calls;
  std::vector<int64_t> failing;
  for (int64_t call = 1; call <= 9; ++call) {
    if (every.matches(call)) {
      failing.push_back(call);
    }
  }
  EXPECT_EQ(failing, (std::vector<int64_t>{3, 6, 9}));
  EXPECT_EQ(p.config.positionRefresh, std::chrono::milliseconds(300));
  EXPECT_EQ(p.config.positionWavers, (std::array<bool, kNodeCount>{true, true}));
}

class BadValue : public ::testing::TestWithParam<std::pair<const char*, const char*>> {};

TEST_P(BadValue, IsReportedAndTheDefaultStays) {
  const auto [variable, value] = GetParam();
  const ParsedConfig p = parse({{variable, value}});
  ASSERT_EQ(p.problems.size(), 1u) << variable << "=" << value;
  EXPECT_EQ(p.problems[0].variable, variable);
  EXPECT_FALSE(p.problems[0].reason.empty());
  const SimConfig defaults;
  EXPECT_DOUBLE_EQ(p.config.timeScale, defaults.timeScale);
  EXPECT_EQ(p.config.onlineDelay, defaults.onlineDelay);
  EXPECT_EQ(p.config.neverOnline, defaults.neverOnline);
  EXPECT_EQ(p.config.switchMissing, defaults.switchMissing);
  EXPECT_EQ(p.config.startAngleDegrees, defaults.startAngleDegrees);
  EXPECT_TRUE(p.config.failures.empty());
  EXPECT_TRUE(p.config.lostRests.empty());
}

INSTANTIATE_TEST_SUITE_P(
    SimConfig, BadValue,
    ::testing::Values(std::pair{kVarTimeScale, "fast"}, std::pair{kVarTimeScale, "0"},
                      std::pair{kVarTimeScale, "-2"}, std::pair{kVarTimeScale, "1e9"},
                      std::pair{kVarTimeScale, "nan"}, std::pair{kVarTimeScale, "20x"},
                      std::pair{kVarOnlineDelay, "-5"}, std::pair{kVarOnlineDelay, "12.5"},
                      std::pair{kVarOnlineDelay, "99999999999999999999"},
                      std::pair{kVarOffline, "3"}, std::pair{kVarOffline, "one"},
                      std::pair{kVarNoSwitch, "0"}, std::pair{kVarStartAngle, "90"},
                      std::pair{kVarStartAngle, "1:abc"}, std::pair{kVarStartAngle, "3:10"},
                      std::pair{kVarStartAngle, "1:inf"}, std::pair{kVarFail, "PCAN_Nope"},
                      std::pair{kVarFail, "SetAccel"}, std::pair{kVarFail, "PCAN_Init:1"},
                      std::pair{kVarFail, "PCAN_SetAccel:3"},
                      std::pair{kVarFail, "PCAN_SetAccel@0"},
                      std::pair{kVarFail, "PCAN_SetAccel@x+"},
                      std::pair{kVarFail, "PCAN_SetAccel@"}, std::pair{kVarFail, "@2"},
                      std::pair{kVarLoseRest, "3"}, std::pair{kVarLoseRest, "1@-1"},
                      std::pair{kVarLoseRest, "@1"}, std::pair{kVarStaleRest, "0"},
                      std::pair{kVarStaleRest, "1@0"}, std::pair{kVarStatusPeriod, "-1"},
                      std::pair{kVarStatusPeriod, "60001"}, std::pair{kVarPositionLag, "0.5"},
                      std::pair{kVarPositionAtRest, "3"}, std::pair{kVarReportDelay, "-1"},
                      std::pair{kVarFail, "PCAN_SetAccel@%0"},
                      std::pair{kVarFail, "PCAN_SetAccel@%"}, std::pair{kVarPositionRefresh, "-1"},
                      std::pair{kVarPositionWaver, "0"}, std::pair{"HALVANE_SIM_TIMESCALE", "20"}),
    [](const ::testing::TestParamInfo<BadValue::ParamType>& param) {
      std::string name = std::string(param.param.first).substr(sizeof "HALVANE_SIM_" - 1);
      name += std::to_string(param.index);
      for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

TEST(SimConfig, ABadItemInAListLeavesTheGoodOnes) {
  const ParsedConfig p =
      parse({{kVarFail, "PCAN_SetDir:1,bogus,,PCAN_SetMaxSpeed@2+"}, {kVarOffline, "1,7"}});
  EXPECT_EQ(p.problems.size(), 2u);
  EXPECT_EQ(p.config.failures.size(), 2u);
  EXPECT_TRUE(p.config.neverOnline[0]);
}

TEST(SimConfig, EmptyValuesCountAsUnset) {
  const ParsedConfig p = parse({{kVarTimeScale, ""}, {kVarFail, " "}, {kVarOffline, ""}});
  EXPECT_TRUE(p.problems.empty());
  EXPECT_DOUBLE_EQ(p.config.timeScale, 1.0);
}

TEST(SimConfig, StarMeansBothNodes) {
  const ParsedConfig p = parse({{kVarOffline, "*"}, {kVarNoSwitch, "*"}});
  EXPECT_TRUE(p.config.neverOnline[0] && p.config.neverOnline[1]);
  EXPECT_TRUE(p.config.switchMissing[0] && p.config.switchMissing[1]);
}

TEST(SimConfig, OtherVariablesAreNoneOfItsBusiness) {
  EXPECT_TRUE(parse({{"PATH", "/bin"}, {"HALVANE_OTHER", "1"}}).problems.empty());
}

TEST(SimConfig, DescriptionNamesEverySetting) {
  const ParsedConfig p = parse({{kVarTimeScale, "20"},
                                {kVarOffline, "2"},
                                {kVarFail, "PCAN_SetAccel:2@3"},
                                {kVarLoseRest, "1@2+"},
                                {kVarStaleRest, "*@3"},
                                {kVarPositionLag, "250"},
                                {kVarPositionRefresh, "400"},
                                {kVarPositionWaver, "1"},
                                {kVarReportDelay, "40"}});
  EXPECT_EQ(describeConfig(p.config),
            "time_scale=20 online_delay_ms=300 start_angle=1:90,2:200 offline=2 no_switch=- "
            "fail=PCAN_SetAccel:2@3 lose_rest=1@2+ stale_rest=*@3 status_period_ms=0 "
            "position_lag_ms=250 position_at_rest=- position_refresh_ms=400 position_waver=1 "
            "report_delay_ms=40");
  const ParsedConfig every = parse({{kVarFail, "PCAN_GetControlStatus:1@%3"}});
  EXPECT_NE(describeConfig(every.config).find(" fail=PCAN_GetControlStatus:1@%3 "),
            std::string::npos);
}

}  // namespace
}  // namespace halvane::sim
