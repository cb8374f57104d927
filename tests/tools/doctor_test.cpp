#include <filesystem>
#include <fstream>
#include <sstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/halvane-trace/doctor.h"
#include "tools/halvane-trace/record_cursor.h"
#include "trace/trace_reader.h"

namespace halvane::tools {
namespace {

struct Expected {
  std::string kind;
  std::vector<size_t> lines;
  bool operator==(const Expected&) const = default;
};

void PrintTo(const Expected& e, std::ostream* out) {
  *out << e.kind << " at";
  for (const size_t line : e.lines) {
    *out << " " << line;
  }
}

std::vector<Expected> found(const std::string& trace) {
  const trace::ReadResult read = trace::readTrace(trace);
  EXPECT_FALSE(read.error) << trace::describe(*read.error);
  std::vector<Expected> kinds;
  for (const Finding& f : diagnose(read.records, read.error)) {
    kinds.push_back({f.kind, f.lines});
  }
  return kinds;
}

// A homing of node 1 from off its switch, as the program makes it, up to its start (lines 1-6).
constexpr char kHomingStart[] =
    "10.000 1 operator click id=1004 caption=\"转盘1\\n复位\"\n"
    "11.000 2 call PCAN_GetGPIOValue(1, &) -> 0 out=128 took=2.000\n"
    "14.000 2 call PCAN_SetExtStopEnable(1, 1) -> 0 took=2.000\n"
    "18.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=0 took=2.000\n"
    "19.000 3 callback StatusCallback(1, 0, [00 08], 0)\n"
    "20.000 2 call PCAN_StartRelStep(1, 9600) -> 0 took=2.000\n";
constexpr char kWindowEnd[] =
    "9000.000 1 operator click id=2 caption=\"\"\n"
    "9001.000 1 operator window-end title=衰减控制系统\n";
// A slot move of node 2 (lines 1-2): no position is read while it turns, unless a case reads it.
constexpr char kSlotMove[] =
    "10.000 1 operator click id=1033 caption=发送 enabled=1\n"
    "20.000 2 call PCAN_StartRelStep(2, 2133) -> 0 took=2.000\n";

// Each case: a session, and the kinds of finding with the lines each points at, most serious
// first.
struct Case {
  const char* what;
  std::string trace;
  std::vector<Expected> findings;
};

const Case kCases[] = {
    {"position reads 9600, 9600, 9640 at 250 ms, a rest report 13 ms after the third, then the "
     "switch not reached: the stillness was no rest, so no report was lost",
     std::string(kHomingStart) +
         "270.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=9600 took=2.000\n"
         "520.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=9600 took=2.000\n"
         "770.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=9640 took=2.000\n"
         "783.000 3 callback StatusCallback(1, 0, [00 00], 0)\n"
         "784.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=0 took=2.000\n"
         "800.000 2 operator message caption=衰减控制系统 text=\"Failure of home switch!!\\n\"\n"
         "900.000 2 operator message-closed text=\"Failure of home switch!!\\n\"\n"
         "950.000 2 call PCAN_SetExtStopEnable(1, 0) -> 0 took=2.000\n" +
         kWindowEnd,
     {{"home-switch-not-reached", {2, 6, 11, 12}}}},
    {"a rest report, then the position moves on: stale; it then stands, with no report before "
     "the next move: the real one lost",
     std::string(kSlotMove) +
         "30.000 3 callback StatusCallback(2, 0, [00 00], 0)\n"
         "270.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
         "520.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=900 took=2.000\n"
         "770.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n"
         "1020.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2134 took=2.000\n"
         "2000.000 2 call PCAN_StartRelStep(2, 100) -> 0 took=2.000\n"
         "2001.000 3 callback StatusCallback(2, 0, [00 00], 0)\n" +
         kWindowEnd,
     {{"rest-report-lost", {2, 3, 6, 7, 8}}, {"rest-report-stale", {3, 4, 5}}}},
    {"a rest report after which the position stands: in order, whatever it read before",
     std::string(kSlotMove) +
         "270.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
         "300.000 3 callback StatusCallback(2, 0, [00 00], 0)\n"
         "520.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n"
         "770.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n" +
         kWindowEnd,
     {}},
    {"a periodic rest report inside the start, before its moving report: the wheel before the "
     "move, not a stale report",
     "10.000 1 operator click id=1033 caption=发送 enabled=1\n"
     "15.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=0 took=2.000\n"
     "20.500 3 callback StatusCallback(2, 0, [00 00], 0)\n"
     "21.000 3 callback StatusCallback(2, 0, [00 08], 0)\n"
     "20.000 2 call PCAN_StartRelStep(2, 2133) -> 0 took=2.000\n"
     "270.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=100 took=2.000\n"
     "520.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=900 took=2.000\n"
     "770.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n"
     "780.000 3 callback StatusCallback(2, 0, [00 00], 0)\n" +
         std::string(kWindowEnd),
     {}},
    {"a homing stopped by its switch whose report never came, in a whole trace: lost, once a "
     "second passed",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
         "600.000 2 call PCAN_SetExtStopEnable(1, 0) -> 0 took=2.000\n" +
         kWindowEnd,
     {{"rest-report-lost", {6, 7}}}},
    {"the same cut off 0.1 s after the rest: not lost, the trace is cut off",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
         "600.000 2 call PCAN_SetExtStopEnable(1, 0) -> 0 took=2.000\n",
     {{"trace-cut-off", {6, 7, 8}}}},
    {"records lost between the start and the next move: the report may be among them",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
         "530.000 2 event records-dropped count=12\n"
         "2000.000 2 call PCAN_StartRelStep(1, 100) -> 0 took=2.000\n"
         "2001.000 3 callback StatusCallback(1, 0, [00 00], 0)\n" +
         kWindowEnd,
     {{"rest-report-lost", {6, 7, 9}}, {"trace-gap", {8}}}},
    {"a failed read in a wait goes on (a warning); a failed call with its message ends its command "
     "(a fault, told first)",
     std::string(kSlotMove) +
         "30.000 2 call PCAN_GetMotorPos(2, &) -> 9 took=2.000\n"
         "40.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=5 took=2.000\n"
         "50.000 2 call PCAN_SetDir(2, 1) -> 9 took=2.000\n"
         "60.000 2 operator message caption=衰减控制系统 text=\"SetDir fail!\\n\"\n"
         "61.000 2 operator click id=1 caption=OK\n"
         "70.000 2 operator message-closed text=\"SetDir fail!\\n\"\n" +
         kWindowEnd,
     {{"failed-call", {5, 6}}, {"failed-call", {3, 4}}}},
    {"a node asked at the check that answers 0, and one that reported itself offline",
     "10.000 1 operator click id=1002 caption=打开\n"
     "11.000 1 call PCAN_Init(8, 2, 1) -> 0 took=0.200\n"
     "300.000 3 callback OnlineCallback(1, 1)\n"
     "300.100 3 callback OnlineCallback(2, 1)\n"
     "400.000 3 callback OnlineCallback(2, 0)\n"
     "3010.000 1 call PCAN_IsSlaveOnline(1, &) -> 0 out=0 took=2.000\n"
     "3020.000 1 operator message caption=衰减控制系统 text=节点1#,2#未上线\n"
     "3030.000 1 operator message-closed text=节点1#,2#未上线\n" +
         std::string(kWindowEnd),
     {{"node-offline-at-check", {3, 6, 7}},
      {"node-offline-at-check", {4, 5, 7}},
      {"node-offline", {5}}}},
    {"a click on a disabled button, and one after which nothing came before the next",
     "10.000 1 operator click id=1013 caption=发送 enabled=0\n"
     "20.000 1 operator click id=1003 caption=关闭 enabled=1\n"
     "30.000 1 operator click id=1002 caption=打开 enabled=1\n"
     "31.000 1 call PCAN_Init(8, 2, 1) -> 0 took=0.200\n" +
         std::string(kWindowEnd),
     {{"click-did-nothing", {1}}, {"click-did-nothing", {2}}}},
    {"a recorder that does not say enabled-ness: nothing said of it",
     "10.000 1 operator click id=1002 caption=打开\n"
     "11.000 1 call PCAN_Init(8, 2, 1) -> 0 took=0.200\n" +
         std::string(kWindowEnd),
     {}},
    {"a read far longer than its request and answer on the bus at 125 kbit/s, a start the "
     "vendor lacks through the tracer, and a call that never returned; with no operator's "
     "steps, whether the trace is whole is not said",
     "1.000 1 header tracer=2.0\n"
     "2.000 1 call PCAN_OpenPort(4) -> 0 took=0.100\n"
     "3.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=0 took=21.000\n"
     "30.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=0 took=23.000\n"
     "60.000 2 call PCAN_StartRelStep(1, 100) missing\n"
     "70.000 2 inflight PCAN_GetControlStatus(1, &) for=5000.000 returned=no\n",
     {{"call-never-returned", {6}}, {"slow-calls", {4}}, {"export-missing", {5}}}},
    {"the simulated rig's word that a move rested without its report, before the next move",
     std::string(kSlotMove) +
         "300.000 3 event rest node=2 pos=2133 by=profile report=lost\n"
         "2000.000 2 call PCAN_StartRelStep(2, 100) -> 0 took=2.000\n"
         "2001.000 3 callback StatusCallback(2, 0, [00 00], 0)\n" +
         kWindowEnd,
     {{"rest-report-lost", {2, 3, 4}}}},
    {"a homing whose status read fails: the failure is the message's cause, not the switch",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 9 took=2.000\n"
         "530.000 2 operator message caption=衰减控制系统 text=\"GetControlStatus fail!\\n\"\n"
         "540.000 2 operator message-closed text=\"GetControlStatus fail!\\n\"\n" +
         kWindowEnd,
     {{"failed-call", {7, 8}}}},
    {"a rest report, a new zero, and the next command's read of it: the reads on either side of "
     "the zero say nothing of each other",
     std::string(kSlotMove) +
         "270.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n"
         "300.000 3 callback StatusCallback(2, 0, [00 00], 0)\n"
         "520.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=2133 took=2.000\n"
         "600.000 2 call PCAN_SetMotorPos(2, 0) -> 0 took=2.000\n"
         "700.000 2 call PCAN_GetMotorPos(2, &) -> 0 out=0 took=2.000\n" +
         kWindowEnd,
     {}},
    {"a homing that ended on a failed call, then the other node's homing without its switch: "
     "the switch's message is the second homing's",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
         "530.000 2 call PCAN_SetExtStopEnable(1, 0) -> 9 took=2.000\n"
         "540.000 2 operator message caption=衰减控制系统 text=\"SetExtStopEnable fail!\"\n"
         "550.000 2 operator message-closed text=\"SetExtStopEnable fail!\"\n"
         "600.000 1 operator click id=1005 caption=\"转盘2\\n复位\"\n"
         "610.000 2 call PCAN_SetExtStopEnable(2, 1) -> 0 took=2.000\n"
         "620.000 2 call PCAN_StartRelStep(2, 9600) -> 0 took=2.000\n"
         "630.000 3 callback StatusCallback(2, 0, [00 00], 0)\n"
         "900.000 2 call PCAN_GetControlStatus(2, &) -> 0 out=0 took=2.000\n"
         "910.000 2 operator message caption=衰减控制系统 text=\"Failure of home switch!!\\n\"\n"
         "920.000 2 operator message-closed text=\"Failure of home switch!!\\n\"\n" +
         kWindowEnd,
     {{"failed-call", {8, 9}},
      {"home-switch-not-reached", {13, 15, 16}},
      {"rest-report-lost", {6, 7}}}},
    {"a call no longer than a request and answer at the slowest speed allows, where the trace "
     "holds no PCAN_OpenPort",
     "3.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=0 took=40.000\n",
     {}},
};

// What the words of a finding must hold: the program's texts as the trace quotes them, and what
// the trace can and cannot tell.
const struct {
  const char* what;
  std::string trace;
  std::vector<std::string> words;
} kWords[] = {
    {"a failed call cut off before the command's end",
     std::string(kSlotMove) +
         "50.000 2 call PCAN_SetDir(2, 1) -> 9 took=2.000\n"
         "60.000 2 operator message caption=衰减控制系统 text=\"SetDir fail!\\n\"\n",
     {"node 2: PCAN_SetDir(2, 1) failed with 9 (line 3); the program said \"SetDir fail!\\n\" "
      "(line 4); the trace ends before it shows whether the command went on",
      "the trace is cut off after line 4"}},
    {"a rest whose report may be among the records lost",
     std::string(kHomingStart) +
         "520.000 2 call PCAN_GetControlStatus(1, &) -> 0 out=1 took=2.000\n"
         "530.000 2 event records-dropped count=12\n"
         "2000.000 2 call PCAN_StartRelStep(1, 100) -> 0 took=2.000\n",
     {"no rest report is in the trace before the next move started (line 9); records were lost "
      "at line 8: it may be among them"}},
    {"a homing waiting where the trace is cut off: under way, not lost",
     std::string(kHomingStart) + "270.000 2 call PCAN_GetMotorPos(1, &) -> 0 out=300 took=2.000\n",
     {"node 1: the homing move of 9600 steps started at line 6 was under way, the homing waiting "
      "for its rest"}},
};

TEST(Doctor, SaysWhatTheTraceShowsInWordsThatPointAtIt) {
  for (const auto& c : kWords) {
    const trace::ReadResult read = trace::readTrace(c.trace);
    std::string text;
    for (const Finding& f : diagnose(read.records, read.error)) {
      text += f.text + "\n";
    }
    for (const std::string& words : c.words) {
      EXPECT_THAT(text, ::testing::HasSubstr(words)) << c.what;
    }
  }
}

// A fault repeated thousands of times is told a few times and counted.
TEST(Doctor, OfManyFindingsOfAKindTheFirstFewAreToldAndTheRestCounted) {
  std::string trace;
  for (int i = 1; i <= 9; ++i) {
    trace += std::to_string(i * 10) + ".000 2 call PCAN_SetAccel(1, 5) -> 9 took=2.000\n";
  }
  const std::vector<Finding> findings = diagnose(trace::readTrace(trace).records);
  ASSERT_EQ(findings.size(), kSameFindingsTold + 1);
  EXPECT_THAT(findings, ::testing::Contains(
                            ::testing::Field(&Finding::text,
                                             "and 4 more failures of PCAN_SetAccel on node 1, the "
                                             "last at line 9")));
}

TEST(Doctor, FindsWhatEachSessionShowsAndNothingElse) {
  for (const Case& c : kCases) {
    EXPECT_EQ(found(c.trace), c.findings) << c.what;
  }
}

// The recorded sessions, each beside the words doctor says of it.
TEST(Doctor, EveryRecordedSessionGivesTheFindingsKeptBesideIt) {
  size_t sessions = 0;
  for (const auto& entry : std::filesystem::directory_iterator(HALVANE_SESSIONS_DIR)) {
    if (entry.path().extension() != ".trace") {
      continue;
    }
    ++sessions;
    SCOPED_TRACE(entry.path().filename().string());
    FileCursor file(entry.path().string());
    Doctor doctor;
    while (const trace::Record* r = file.next()) {
      doctor.add(*r);
    }
    const Doctor::Result result = doctor.finish(file.error());
    std::filesystem::path kept = entry.path();
    kept.replace_extension(".findings");
    std::ifstream in(kept, std::ios::binary);
    std::ostringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(doctorText(result.findings, result.model), expected.str());
  }
  EXPECT_GE(sessions, 8u);
}

}  // namespace
}  // namespace halvane::tools
