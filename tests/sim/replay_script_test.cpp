#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/replay_script.h"
#include "trace/trace_reader.h"

namespace halvane::sim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A field trace: call lines stamped with their start, a start report that came during its call
// (so before the call's line), a homing's wait with two position reads, a rest report 80 ms after
// the start, then a slot move on node 2.
constexpr char kRecording[] =
    "1.000 2 call PCAN_SetEventCallback(&, &, &) -> 0 took=0.010\n"
    "2.000 2 call PCAN_OpenPort(4) -> 0 took=0.010\n"
    "302.000 3 callback OnlineCallback(1, 1)\n"
    "302.500 3 callback OnlineCallback(2, 1)\n"
    "3000.000 4 call PCAN_SetMaxSpeed(1, -800) -> 0 took=2.000\n"
    "3011.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n"
    "3040.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-400 took=2.000\n"
    "3070.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-1200 took=2.000\n"
    "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n"
    "3100.000 4 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
    "4000.000 4 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
    "4010.000 4 call PCAN_SetDir(2, 1) -> 9 took=2.000\n"
    "4020.000 4 call PCAN_SetDir(2, 1) -> 0 took=2.000\n";

ReplayScript script() {
  const trace::ReadResult read = trace::readTrace(kRecording);
  EXPECT_FALSE(read.error);
  return ReplayScript(read.records);
}

struct Player {
  ReplayScript s = script();
  int64_t now = 0;

  std::optional<ReplayAnswer> call(const std::string& name, std::vector<std::string> args) {
    Divergence divergence;
    auto answer = s.answer(name, args, now, divergence);
    lastDivergence = divergence;
    return answer;
  }
  std::vector<std::string> fired(int64_t at) {
    now = at;
    std::vector<std::string> names;
    for (const DueCallback& c : s.takeDue(now)) {
      names.push_back(c.name + "(" + c.args[0] + ", " + c.args[1] + ")");
    }
    return names;
  }
  Divergence lastDivergence;
};

TEST(ReplayScript, AnswersEachCallFromItsRecordedTwinInRecordedOrder) {
  Player p;
  ASSERT_TRUE(p.call("PCAN_SetEventCallback", {"&", "&", "&"}));
  // The same export and node twice: the first recorded answer, then the second.
  const auto failed = p.call("PCAN_SetDir", {"2", "1"});
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->result, 9);
  EXPECT_EQ(failed->tookUs, 2000);
  EXPECT_EQ(p.call("PCAN_SetDir", {"2", "1"})->result, 0);
  // Another export's calls are matched whatever came between.
  const auto read = p.call("PCAN_GetMotorPos", {"2", "&"});
  ASSERT_TRUE(read);
  EXPECT_EQ(read->out, 100);
  EXPECT_EQ(p.s.unplayedCalls(), 3u) << "of seven, the wait's reads aside";
}

TEST(ReplayScript, CallbacksFallDueAtTheirRecordedDelayAfterWhatPrecededThem) {
  Player p;
  EXPECT_FALSE(p.s.nextDueUs()) << "nothing is due before its call";
  p.call("PCAN_OpenPort", {"4"});  // made at 0 here, 2 ms into the recording
  EXPECT_EQ(p.s.nextDueUs(), 300'000);
  EXPECT_THAT(p.fired(299'000), ElementsAre());
  EXPECT_THAT(p.fired(300'000), ElementsAre("OnlineCallback(1, 1)"));
  EXPECT_EQ(p.s.nextDueUs(), 300'500) << "0.5 ms after the report before it";
  EXPECT_THAT(p.fired(400'000), ElementsAre("OnlineCallback(2, 1)"));

  // The start report came during the call: it is due 1 ms after the call, not before it.
  p.now = 1'000'000;
  p.call("PCAN_SetMaxSpeed", {"1", "-800"});
  EXPECT_FALSE(p.s.nextDueUs());
  p.now = 1'005'000;
  p.call("PCAN_StartRelStep", {"1", "9600"});
  EXPECT_EQ(p.s.nextDueUs(), 1'006'000);
  EXPECT_THAT(p.fired(1'006'000), ElementsAre("StatusCallback(1, 0)"));
  // The rest report is timed from the start report, whatever the wait read in between.
  p.now = 1'020'000;
  p.call("PCAN_GetMotorPos", {"1", "&"});
  EXPECT_EQ(p.s.nextDueUs(), 1'006'000 + 79'000);
  EXPECT_EQ(p.s.unplayedCallbacks(), 1u);
}

TEST(ReplayScript, AWaitsPositionReadsAreAnsweredFromTheNearestRecordedRead) {
  Player p;
  p.now = 1'000'000;
  p.call("PCAN_StartRelStep", {"1", "9600"});
  std::vector<std::optional<int>> positions;
  for (const int64_t at : {1'005'000, 1'031'000, 1'050'000, 1'061'000, 1'200'000}) {
    p.now = at;
    const auto answer = p.call("PCAN_GetMotorPos", {"1", "&"});
    ASSERT_TRUE(answer) << p.lastDivergence.nearest;
    positions.push_back(answer->out);
  }
  EXPECT_THAT(positions, ElementsAre(-400, -400, -1200, -1200, -1200));
  EXPECT_EQ(p.s.divergences(), 0u);
  // The read after the wait is a call of its own, still to be played.
  p.call("PCAN_GetControlStatus", {"1", "&"});
  EXPECT_EQ(p.call("PCAN_GetMotorPos", {"2", "&"})->out, 100);
}

TEST(ReplayScript, ACallTheRecordingCannotAnswerDivergesNamingTheNearestCalls) {
  Player p;
  EXPECT_FALSE(p.call("PCAN_SetDir", {"2", "0"}));
  EXPECT_EQ(p.lastDivergence.call, "PCAN_SetDir(2, 0)");
  EXPECT_THAT(p.lastDivergence.nearest,
              HasSubstr("PCAN_SetDir(2, 1) at 4010.000 ms differs in argument 2"));
  EXPECT_FALSE(p.call("PCAN_SetMaxSpeed", {"2", "-800"}));
  EXPECT_THAT(p.lastDivergence.nearest,
              HasSubstr("PCAN_SetMaxSpeed(1, -800) at 3000.000 ms differs in argument 1 (node)"));
  // Played out: a third SetDir has nothing left to answer it.
  p.call("PCAN_SetDir", {"2", "1"});
  p.call("PCAN_SetDir", {"2", "1"});
  EXPECT_FALSE(p.call("PCAN_SetDir", {"2", "1"}));
  EXPECT_EQ(p.s.divergences(), 3u);
}

// A recording cut off in a homing's wait, before its first position read: the program goes on
// past its end, which is no divergence; past the end of a whole recording, it is one.
TEST(ReplayScript, CallsPastTheEndOfACutOffRecordingAreNoDivergence) {
  const std::string cutOff =
      "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n"
      "3011.000 3 callback StatusCallback(1, 0, [00 08], 0)\n";
  for (const bool whole : {false, true}) {
    SCOPED_TRACE(whole ? "whole" : "cut off");
    const std::string text = cutOff + (whole ? "3500.000 1 operator window-end title=x\n" : "");
    ReplayScript s(trace::readTrace(text).records);
    Divergence divergence;
    EXPECT_FALSE(s.answer("PCAN_GetMotorPos", {"1", "&"}, 0, divergence));
    ASSERT_TRUE(s.answer("PCAN_StartRelStep", {"1", "9600"}, 0, divergence));
    EXPECT_FALSE(s.answer("PCAN_GetMotorPos", {"1", "&"}, 10, divergence));
    EXPECT_FALSE(s.answer("PCAN_GetControlStatus", {"1", "&"}, 20, divergence));
    EXPECT_EQ(divergence.pastRecordingEnd, !whole);
    // The read before the start, while calls were left to play, diverges either way.
    EXPECT_EQ(s.divergences(), whole ? 3u : 1u);
    EXPECT_EQ(s.callsPastEnd(), whole ? 0u : 2u);
  }
}

// Two homings of one node, the first of which runs longer here than in the lab; times no session
// has (a clock that jumped, a corrupt line).
TEST(ReplayScript, AWaitKeepsToItsOwnReadsAndAbsurdTimesAreBounded) {
  const trace::ReadResult read = trace::readTrace(
      "1000.000 4 call PCAN_StartRelStep(1, 9600) -> 0 took=99999999999.000\n"
      "1100.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-400 took=2.000\n"
      "1200.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
      "1300.000 4 call PCAN_SetMotorPos(1, 0) -> 0 took=2.000\n"
      "2000.000 4 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n"
      "2100.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=777 took=2.000\n"
      "9000000000000.000 3 callback StatusCallback(1, 0, [00 00], 0)\n");
  ReplayScript s(read.records);
  Divergence divergence;
  EXPECT_EQ(s.answer("PCAN_StartRelStep", {"1", "9600"}, 0, divergence)->tookUs,
            kMaxReplayedCallUs);
  // 900 ms into the wait: the recording's next wait is nearer in time, but not this wait's.
  EXPECT_EQ(s.answer("PCAN_GetMotorPos", {"1", "&"}, 900'000, divergence)->out, -400);
  EXPECT_EQ(s.takeDue(900'000).size(), 1u);
  s.answer("PCAN_SetMotorPos", {"1", "0"}, 950'000, divergence);
  s.answer("PCAN_StartRelStep", {"1", "9600"}, 5'000'000, divergence);
  EXPECT_EQ(s.nextDueUs(), 5'000'000 + kMaxReplayedDelayUs);
  EXPECT_EQ(s.divergences(), 0u);
}

// Open clicked during a homing, at a speed whose number is also a node's: the port's speed is no
// node, so the wait goes on and its reads are answered from the wait, not from later reads.
TEST(ReplayScript, AnOpenDuringAWaitLeavesTheWaitAsItWas) {
  ReplayScript s(
      trace::readTrace("1000.000 4 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n"
                       "1030.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-400 took=2.000\n"
                       "1040.000 2 call PCAN_OpenPort(1) -> 0 took=0.100\n"
                       "1060.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=-1200 took=2.000\n"
                       "1200.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
                       "1300.000 4 call PCAN_SetMotorPos(1, 0) -> 0 took=2.000\n"
                       "1400.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=777 took=2.000\n")
          .records);
  Divergence divergence;
  s.answer("PCAN_StartRelStep", {"1", "9600"}, 0, divergence);
  EXPECT_EQ(s.answer("PCAN_GetMotorPos", {"1", "&"}, 30'000, divergence)->out, -400);
  ASSERT_TRUE(s.answer("PCAN_OpenPort", {"1"}, 40'000, divergence));
  for (const int64_t at : {60'000, 61'000, 62'000}) {
    const auto answer = s.answer("PCAN_GetMotorPos", {"1", "&"}, at, divergence);
    ASSERT_TRUE(answer) << at << ": " << divergence.nearest;
    EXPECT_EQ(answer->out, -1200) << at;
  }
  s.answer("PCAN_SetMotorPos", {"1", "0"}, 300'000, divergence);
  EXPECT_EQ(s.answer("PCAN_GetMotorPos", {"1", "&"}, 400'000, divergence)->out, 777);
  EXPECT_EQ(s.divergences(), 0u);
}

}  // namespace
}  // namespace halvane::sim
