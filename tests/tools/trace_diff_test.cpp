#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/halvane-trace/trace_diff.h"
#include "trace/trace_reader.h"

namespace halvane::tools {
namespace {

using ::testing::HasSubstr;

constexpr char kRecorded[] =
    "0.100 1 event loaded node=- time_scale=25\n"
    "1.000 2 call PCAN_SetEventCallback(&, null, &) -> 0 bus=0.000\n"
    "300.000 3 callback OnlineCallback(1, 1)\n"
    "3000.000 4 call PCAN_SetExtStopEnable(1, 1) -> 0 bus=1.776\n"
    "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 bus=1.776\n"
    "3011.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "3020.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-20 bus=1.776\n"
    "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n"
    "3100.000 4 call PCAN_GetControlStatus(1, &) -> 0 out=1 bus=1.776\n"
    "3105.000 4 call PCAN_SetExtStopEnable(1, 0) -> 0 bus=1.776\n"
    "3110.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-1537 bus=1.776\n";

std::vector<trace::Record> records(const std::string& text) {
  trace::ReadResult read = trace::readTrace(text);
  EXPECT_FALSE(read.error) << trace::describe(*read.error);
  return std::move(read.records);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return text.replace(at, from.size(), to);
}

struct Case {
  const char* name;
  std::string other;
  bool ignoreWaitReads;
  bool same;
  std::vector<std::string> shown;  // in the report, in this order
};

TEST(TraceDiff, ComparesCallsAndCallbacksButNotTimesThreadsOrInterleaving) {
  const std::string reordered = replaced(
      replaced(kRecorded, "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 bus=1.776\n", ""),
      "3000.000 4 call PCAN_SetExtStopEnable(1, 1) -> 0 bus=1.776\n",
      "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 bus=1.776\n"
      "3000.000 4 call PCAN_SetExtStopEnable(1, 1) -> 0 bus=1.776\n");
  const Case cases[] = {
      {"times, threads, events and the interleaving aside",
       replaced(replaced(replaced(kRecorded, "3011.000 3", "3025.500 7"),
                         "3020.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-20 bus=1.776\n"
                         "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n",
                         "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n"
                         "3020.000 9 call PCAN_GetMotorPos(1, &) -> 0 out=-20 took=2.100\n"),
                "0.100 1 event loaded node=- time_scale=25\n", ""),
       false,
       true,
       {}},
      {"a changed call order",
       reordered,
       false,
       false,
       {"calls: the first difference, at the 2.",
        "  call PCAN_SetEventCallback(&, null, &) -> 0    (lines 2, 2)",
        "- call PCAN_SetExtStopEnable(1, 1) -> 0    (line 4)",
        "  call PCAN_StartRelStep(1, 9600) -> 0    (lines 5, 4)",
        "+ call PCAN_SetExtStopEnable(1, 1) -> 0    (line 5)"}},
      {"a result and an out-value",
       replaced(kRecorded, "GetControlStatus(1, &) -> 0 out=1", "GetControlStatus(1, &) -> 3"),
       false,
       false,
       {"- call PCAN_GetControlStatus(1, &) -> 0 out=1",
        "+ call PCAN_GetControlStatus(1, &) -> 3"}},
      {"a lost rest report",
       replaced(kRecorded, "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n", ""),
       false,
       false,
       {"callbacks of node 1: the first difference, at the 3. of 3 and 2",
        "- callback StatusCallback(1, 0, [01 00], 0)"}},
      {"a missing export",
       replaced(kRecorded, "PCAN_SetExtStopEnable(1, 1) -> 0 bus=1.776",
                "PCAN_SetExtStopEnable(1, 1) missing"),
       false,
       false,
       {"+ call PCAN_SetExtStopEnable(1, 1) missing"}},
      {"more position reads in the wait, compared",
       replaced(kRecorded, "3020.000",
                "3015.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-5 bus=1\n3020.000"),
       false,
       false,
       {"+ call PCAN_GetMotorPos(1, &) -> 0 out=-5"}},
      {"more position reads in the wait, ignored",
       replaced(kRecorded, "3020.000",
                "3015.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-5 bus=1\n3020.000"),
       true,
       true,
       {}},
      {"a position read after the wait is never ignored",
       replaced(kRecorded, "out=-1537", "out=-1536"),
       true,
       false,
       {"- call PCAN_GetMotorPos(1, &) -> 0 out=-1537"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DiffOptions options;
    options.ignoreWaitReads = c.ignoreWaitReads;
    const TraceDiff diff = diffTraces(records(kRecorded), records(c.other), options);
    EXPECT_EQ(diff.same, c.same) << diff.report;
    size_t from = 0;
    for (const std::string& expected : c.shown) {
      const size_t at = diff.report.find(expected, from);
      ASSERT_NE(at, std::string::npos) << "\"" << expected << "\" in order in:\n" << diff.report;
      from = at + expected.size();
    }
  }
}

// A recording cut off before the window's end: what the replay does past its end is not
// compared, but what it leaves out still is.
TEST(TraceDiff, ACutOffFirstTraceIsComparedUpToItsEnd) {
  const std::string cutOff = replaced(
      kRecorded,
      "3100.000 4 call PCAN_GetControlStatus(1, &) -> 0 out=1 bus=1.776\n"
      "3105.000 4 call PCAN_SetExtStopEnable(1, 0) -> 0 bus=1.776\n"
      "3110.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-1537 bus=1.776\n",
      "");
  DiffOptions options;
  options.firstCutOff = true;
  const TraceDiff longer = diffTraces(records(cutOff), records(kRecorded), options);
  EXPECT_TRUE(longer.same) << longer.report;
  EXPECT_EQ(longer.pastFirstEnd, 3u);
  EXPECT_FALSE(diffTraces(records(kRecorded), records(cutOff), options).same);
  EXPECT_FALSE(diffTraces(records(cutOff), records(kRecorded)).same);
}

TEST(TraceDiff, TheTwoNodesReportsMayInterleaveEitherWay) {
  const std::string node2Start = "3012.000 5 callback StatusCallback(2, 0, [00 08], 0)\n";
  const std::string before = replaced(kRecorded, "3020.000", node2Start + "3020.000");
  const std::string after = std::string(kRecorded) + node2Start;
  EXPECT_TRUE(diffTraces(records(before), records(after)).same);
  EXPECT_FALSE(diffTraces(records(kRecorded), records(after)).same);
}

}  // namespace
}  // namespace halvane::tools
