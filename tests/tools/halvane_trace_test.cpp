#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/halvane-trace/session_model.h"
#include "tools/halvane-trace/summary.h"
#include "tools/halvane-trace/time_axis.h"
#include "tools/halvane-trace/timeline.h"
#include "trace/trace_reader.h"

namespace halvane::tools {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A session as the simulated rig writes it: a homing onto the switch, a slot move whose rest
// report is lost, a move with a late report, a failing export and a missing one.
constexpr char kSession[] =
    "0.100 1 event loaded node=- time_scale=25\n"
    "1.000 2 call PCAN_SetEventCallback(&, null, &) -> 0 bus=0.000\n"
    "2.000 2 call PCAN_Init(8, 2, 1) -> 0 bus=0.000\n"
    "300.000 3 callback OnlineCallback(1, 1)\n"
    "3000.000 4 call PCAN_SetExtStopEnable(1, 1) -> 0 bus=1.776\n"
    "3010.000 4 call PCAN_StartRelStep(1, 9600) -> 0 bus=1.776\n"
    "3011.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "3090.000 3 event rest node=1 pos=-1537 by=ext-stop report=sent\n"
    "3090.000 3 callback StatusCallback(1, 0, [01 00], 0)\n"
    "3100.000 4 call PCAN_GetControlStatus(1, &) -> 0 out=1 bus=1.776\n"
    "3110.000 4 call PCAN_SetExtStopEnable(1, 0) -> 0 bus=1.776\n"
    "4000.000 4 call PCAN_StartRelStep(1, 2133) -> 0 bus=1.776\n"
    "4050.000 3 event rest node=1 pos=596 by=profile report=lost\n"
    "4060.000 3 callback StatusCallback(1, 0, [00 01], 0)\n"
    "5000.000 4 call PCAN_StartRelStep(2, 100) -> 0 took=2.000\n"
    "5100.000 4 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
    "5400.000 4 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
    "7000.000 3 callback StatusCallback(2, 0, [00 00], 0)\n"
    "8000.000 4 call PCAN_SetDir(2, 1) -> 9 bus=1.776\n"
    "8100.000 4 call PCAN_SetDecel(2, 5) missing\n"
    "8200.000 4 event records-dropped count=12 why=\"the ring overwrote them\"\n"
    "3608100.000 4 inflight PCAN_GetGPIOValue(2, &) for=1000.000\n";

std::vector<trace::Record> records() {
  trace::ReadResult read = trace::readTrace(kSession);
  EXPECT_FALSE(read.error);
  return read.records;
}

SessionModel model() {
  return buildModel(records());
}

TEST(SessionModel, MovesEndAsTheTraceShows) {
  const SessionModel m = model();
  const auto& node1 = m.nodes.at(1).moves;
  ASSERT_EQ(node1.size(), 2u);
  EXPECT_TRUE(node1[0].homing);
  EXPECT_EQ(node1[0].end, MoveEnd::ExtStop);
  EXPECT_EQ(node1[0].endUs, 3'090'000);
  EXPECT_FALSE(node1[1].homing);
  EXPECT_EQ(node1[1].end, MoveEnd::ReportLost);
  EXPECT_EQ(node1[1].endUs, 4'050'000);

  const auto& node2 = m.nodes.at(2);
  ASSERT_EQ(node2.moves.size(), 1u);
  EXPECT_EQ(node2.moves[0].endUs, 5'100'000) << "where the position first stood still";
  EXPECT_EQ(node2.moves[0].end, MoveEnd::RestReported) << "its report came, late";
  EXPECT_EQ(node2.lateReports, 1);
  EXPECT_EQ(m.nodes.at(1).restReports, 2) << "a second byte of 01: not moving, so at rest";
  EXPECT_EQ(m.nodes.at(1).onlineChanges.size(), 1u);
  EXPECT_EQ(m.nodes.at(kBusLane).byExport.at("PCAN_Init").calls, 1);
  ASSERT_EQ(node2.byExport.at("PCAN_SetDir").failures.count, 1u);
  EXPECT_EQ(node2.byExport.at("PCAN_SetDecel").missing, 1);
}

TEST(SessionModel, EveryRecordKeptSaysItsLine) {
  const SessionModel m = model();
  const auto& node1 = m.nodes.at(1);
  const auto& node2 = m.nodes.at(2);
  const std::pair<size_t, size_t> lines[] = {
      {node1.moves[0].startLine, 6},
      {node1.moves[0].endLine, 9},  // its rest report
      {node1.moves[1].startLine, 12},
      {node1.moves[1].endLine, 13},  // the rig's word that the report was lost
      {node2.moves[0].startLine, 15},
      {node2.moves[0].endLine, 16},  // the read the position stood still from
      {node1.onlineChanges.at(0).line, 4},
      {node2.byExport.at("PCAN_SetDir").failures.first.at(0).line, 19},
      {m.gaps.first.at(0).line, 21},
      {m.inFlight.first.at(0).line, 22},
      {m.longestCalls.at(0).line, 15},  // 2 ms, the first of the longest
  };
  for (size_t i = 0; i < std::size(lines); ++i) {
    EXPECT_EQ(lines[i].first, lines[i].second) << "case " << i;
  }
}

TEST(Summary, NamesFailuresMovesReportsAndTheLongestCalls) {
  const std::string text = summaryText(model());
  for (const char* expected :
       {"PCAN_SetDir(2, 1) -> 9 at 8000.000 ms (line 19)", "1 missing",
        "9600 steps (homing), home switch", "2133 steps, rest report lost",
        "rest reports: 2 sent, 1 lost, 0 late", "rest reports: 1 sent, 0 lost, 1 late",
        "online at 300.000 ms", "in flight for 1000.000 ms: PCAN_GetGPIOValue(2, &)",
        "none recorded", "Not whole: at 8200.000 ms (line 21), records-dropped count=12"}) {
    EXPECT_THAT(text, HasSubstr(expected));
  }
}

// A homing as the tracer writes it: the position read repeats once while turning (it lags), then
// moves, and the rest report follows 13 ms after the read that moved.
constexpr char kLaggingHoming[] =
    "3600.000 4 call PCAN_SetExtStopEnable(1, 1) -> 0 took=1.000\n"
    "3617.789 4 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n"
    "3867.789 4 call PCAN_GetMotorPos(1, &) -> 0 out=9600 took=2.000\n"
    "4117.789 4 call PCAN_GetMotorPos(1, &) -> 0 out=9600 took=2.000\n"
    "4371.000 4 call PCAN_GetMotorPos(1, &) -> 0 out=9640 took=2.000\n"
    "4384.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "4400.000 4 operator message caption=x text=\"Failure of home switch!!\"\n";

TEST(SessionModel, APositionThatMovesAgainIsNoRest) {
  const SessionModel m = buildModel(trace::readTrace(kLaggingHoming).records);
  const auto& moves = m.nodes.at(1).moves;
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_EQ(moves[0].end, MoveEnd::RestReported);
  EXPECT_EQ(moves[0].endUs, 4'384'000);
  const std::string text = summaryText(m);
  EXPECT_THAT(text, HasSubstr("rest reports: 1 sent, 0 lost, 0 late"));
  EXPECT_THAT(text, Not(HasSubstr("no rest report")));
}

// A slot move under way where the trace stops: its report is not in the trace, which is no lost
// report, and the summary says why the trace holds none.
TEST(Summary, AMoveUnderWayAtTheTracesEndIsNotCountedLost) {
  const std::string start =
      "10.000 4 operator click id=5 caption=Go\n"
      "20.000 4 call PCAN_StartRelStep(1, 2133) -> 0 took=2.000\n";
  const struct {
    const char* end;
    const char* why;
  } cases[] = {
      {"", "not in the trace (under way where the trace ends; the trace was cut off)"},
      {"30.000 4 event trace-full\n", "Not whole: at 30.000 ms (line 3), trace-full"},
      {"30.000 4 event records-dropped count=3\n", "records-dropped count=3"},
      {"30.000 4 operator window-end title=x\n", "the window was closed first"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.end);
    const SessionModel m = buildModel(trace::readTrace(start + std::string(c.end)).records);
    ASSERT_EQ(m.nodes.at(1).moves.size(), 1u);
    EXPECT_EQ(m.nodes.at(1).moves[0].end, MoveEnd::TraceEnds);
    const std::string text = summaryText(m);
    EXPECT_THAT(text, HasSubstr("rest reports: 0 sent, 0 lost, 0 late, 1 not in the trace"));
    EXPECT_THAT(text, HasSubstr(c.why));
    EXPECT_EQ(text.find("ends without the window's end") != std::string::npos,
              std::string(c.end).find("window-end") == std::string::npos);
  }
}

// A call's line is written when it returns, stamped with its start: the reports that came while
// the second start was in flight are written before it, and belong to the second move. A rest
// report before a start's moving report tells how the wheel stood before it: it ends nothing; nor
// is a periodic repeat of the status after a reported rest a late report.
constexpr char kReportInsideTheCall[] =
    "1001.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "1000.000 4 call PCAN_StartRelStep(1, 100) -> 0 took=2.000\n"
    "1500.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "3000.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "3001.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "2999.000 4 call PCAN_StartRelStep(1, 200) -> 0 took=5.000\n"
    "4000.500 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "4001.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "4000.000 4 call PCAN_StartRelStep(1, 300) -> 0 took=2.000\n"
    "4100.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "5300.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
    "6500.000 3 callback StatusCallback(1, 0, [00 00], 0)\n";

TEST(SessionModel, RecordsAreTakenInTheOrderOfTheirTimes) {
  const SessionModel m = buildModel(trace::readTrace(kReportInsideTheCall).records);
  const auto& moves = m.nodes.at(1).moves;
  ASSERT_EQ(moves.size(), 3u);
  for (size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(moves[i].end, MoveEnd::RestReported) << i;
  }
  EXPECT_EQ(moves[1].endUs, 3'001'000);
  EXPECT_EQ(moves[1].startLine, 6u);
  EXPECT_EQ(moves[1].endLine, 5u) << "the report written before its call";
  EXPECT_EQ(moves[2].endLine, 10u) << "the report before the third move's own ends nothing";
  EXPECT_THAT(summaryText(m), HasSubstr("rest reports: 6 sent, 0 lost, 0 late"));
}

TEST(TimeAxis, LongIdleGapsAreFoldedAndTimeStillRunsForward) {
  const TimeAxis axis({{0, 1'000'000}, {2'000'000, 3'000'000}, {3'600'000'000, 3'601'000'000}},
                      1000);
  ASSERT_EQ(axis.folds().size(), 1u) << "a gap under the fold threshold stays";
  EXPECT_EQ(axis.folds()[0].fromUs, 3'000'000);
  EXPECT_LT(axis.width(), 1000 + 2 * kFoldWidth) << "an hour's idle takes a fold's width";
  double last = -1;
  for (const int64_t t : {0LL, 500'000LL, 1'500'000LL, 3'000'000LL, 1'000'000'000LL,
                          3'600'000'000LL, 3'601'000'000LL}) {
    EXPECT_GT(axis.x(t), last) << t;
    last = axis.x(t);
  }
}

TEST(Timeline, OnePageWithNoScriptAndEveryItemExplainedOnHover) {
  const std::string html = timelineHtml(model(), records(), "trace <one> & \"two\"");
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  EXPECT_THAT(html, HasSubstr("<svg"));
  EXPECT_THAT(html, HasSubstr("trace &lt;one&gt; &amp; &quot;two&quot;"));
  EXPECT_THAT(html, HasSubstr("<title>PCAN_SetDir(2, 1) -&gt; 9, at 8 s, took 1.776 ms</title>"));
  EXPECT_THAT(html, HasSubstr("stroke=\"#e53935\""));
  EXPECT_THAT(html, HasSubstr("homing move of 9600 steps from 3.01 s: home switch"));
  EXPECT_THAT(html, HasSubstr("still in flight"));
  EXPECT_THAT(html, HasSubstr("folded"));
  // The report the summary counts as a rest is drawn as one.
  EXPECT_THAT(html,
              HasSubstr("fill=\"#2e7d32\"><title>StatusCallback(1, 0, [00 01], 0) at 4.06 s"));
}

// Ten hours of calls every 200 ms, with a failure now and then: a page of bounded size, each
// mark counting the calls it stands for.
TEST(Timeline, ALongTraceGivesAPageOfBoundedSize) {
  std::vector<trace::Record> calls;
  for (int64_t i = 0; i < 180'000; ++i) {
    trace::Record r;
    r.kind = trace::Kind::Call;
    r.timeUs = i * 200'000;
    r.name = "PCAN_GetMotorPos";
    r.args = {"1", "&"};
    r.result = i % 1000 == 0 ? 9 : 0;
    r.tookUs = 2000;
    calls.push_back(r);
  }
  const std::string html = timelineHtml(buildModel(calls), calls, "long");
  EXPECT_LT(html.size(), 4'000'000u);
  EXPECT_THAT(html, HasSubstr(" calls from "));
  EXPECT_THAT(html, HasSubstr("stroke=\"#e53935\""));
}

}  // namespace
}  // namespace halvane::tools
