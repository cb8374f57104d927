// The recording stand-in between the program and the simulated library changes nothing, and
// records what the simulated library itself saw: the same calls with the same results and
// out-values, and the same callbacks, each in the same order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/operator_steps.h"
#include "trace/ring_reader.h"

namespace halvane::e2e {
namespace {

using ::testing::HasSubstr;

struct Seen {
  std::vector<std::string> calls;      // signature, result and out-value
  std::vector<std::string> callbacks;  // signature
};

Seen seenIn(const std::vector<trace::Record>& records) {
  Seen seen;
  for (const trace::Record& r : records) {
    if (r.kind == trace::Kind::Call) {
      seen.calls.push_back(r.signature() + " -> " + std::to_string(r.result.value_or(-999)) +
                           (r.out ? " out=" + std::to_string(*r.out) : ""));
    } else if (r.kind == trace::Kind::Callback) {
      seen.callbacks.push_back(r.signature());
    }
  }
  return seen;
}

std::vector<trace::Record> recordsOf(const std::vector<TraceEntry>& entries) {
  std::vector<trace::Record> records;
  for (const TraceEntry& entry : entries) {
    records.push_back(entry.record);
  }
  return records;
}

bool restedEverywhere(const ProgramSession& session) {
  size_t starts = 0, rests = 0;
  for (const TraceEntry& entry : parseTrace(session.trace())) {
    starts += entry.kind == "event" && entry.text.rfind("move-start ", 0) == 0 ? 1 : 0;
    rests += entry.kind == "event" && entry.text.rfind("rest ", 0) == 0 ? 1 : 0;
  }
  return starts == rests;
}

// Homings, slot moves, a lost rest report and a failing export: the stand-in's trace equals the
// simulated library's own.
TEST(ThroughTheStandIn, ItsTraceIsTheSimulatedLibrarysCallForCallAndCallbackForCallback) {
  SessionOptions options;
  options.throughTracer = true;
  options.simulatorSettings = {{L"HALVANE_SIM_TIME_SCALE", L"25"},
                               {L"HALVANE_SIM_LOSE_REST", L"2@1"},
                               {L"HALVANE_SIM_FAIL", L"PCAN_SetDir:2@1"}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(openAndConfigure(session));
  WindowProbe& window = session.window();
  for (const int button : {IDC_RESET1, IDC_RESET2}) {
    window.click(button);
    ASSERT_TRUE(waitForCommandButtons(window, false));
    ASSERT_TRUE(waitForCommandButtons(window, true, std::chrono::seconds(60)));
  }
  window.selectListRow(IDC_POSITION1, 2);
  ASSERT_TRUE(window.clickAndWait(IDC_SEND_POSITION1));
  ASSERT_TRUE(waitForCommandButtons(window, true, std::chrono::seconds(30)));
  window.selectListRow(IDC_POSITION2, 3);
  window.click(IDC_SEND_POSITION2);
  EXPECT_EQ(window.takeMessage(), L"SetDir fail!\n");
  ASSERT_TRUE(waitForCommandButtons(window, true));
  ASSERT_TRUE(window.clickAndWait(IDC_SEND_FORWARD1));
  ASSERT_TRUE(waitForCommandButtons(window, true, std::chrono::seconds(30)));
  ASSERT_TRUE(waitUntil([&] { return restedEverywhere(session); }, std::chrono::seconds(30)));

  const Seen simulated = seenIn(recordsOf(parseTrace(session.trace())));
  Seen recorded;
  std::optional<trace::ReadError> error;
  // The last callback reaches the stand-in just after the simulated library wrote it.
  waitUntil(
      [&] {
        const auto traces = session.standInTraces();
        if (traces.size() != 1) {
          return false;
        }
        const trace::ReadResult read = trace::readTrace(traces.front());
        error = read.error;
        recorded = seenIn(read.records);
        return recorded.callbacks.size() >= simulated.callbacks.size();
      },
      std::chrono::seconds(10));
  ASSERT_FALSE(error) << trace::describe(*error);
  EXPECT_EQ(recorded.calls, simulated.calls);
  EXPECT_EQ(recorded.callbacks, simulated.callbacks);
  EXPECT_EQ(countStartingWith(simulated.calls, "PCAN_SetDir(2, 1) -> 9"), 1u);

  const trace::ReadResult read = trace::readTrace(session.standInTraces().front());
  ASSERT_FALSE(read.records.empty());
  const trace::Record& header = read.records.front();
  EXPECT_EQ(header.kind, trace::Kind::Header);
  ASSERT_NE(header.field("vendor"), nullptr);
  EXPECT_THAT(*header.field("vendor"), HasSubstr("PUSICANControl.vendor.dll"));
  EXPECT_NE(header.field("vendor_crc32"), nullptr);
  EXPECT_NE(header.field("clock_origin_us"), nullptr);
  for (const trace::Record& r : read.records) {
    if (r.kind == trace::Kind::Call) {
      EXPECT_TRUE(r.tookUs.has_value()) << trace::formatRecord(r);
    }
  }
  // The operator's steps, seen from inside the process.
  const std::string text = session.standInTraces().front();
  EXPECT_THAT(text, HasSubstr(" operator click id=1002 caption=打开 enabled=1 "));  // Open
  EXPECT_THAT(text, HasSubstr(" operator select id=1030 row=3 "));
  EXPECT_THAT(text, HasSubstr(" operator message caption="));
  EXPECT_THAT(text, HasSubstr(" text=\"SetDir fail!\\n\""));
  EXPECT_THAT(text, HasSubstr(" operator message-closed text=\"SetDir fail!\\n\""));
  EXPECT_THAT(text, HasSubstr(" c1006=5 "));  // the first turntable's acceleration at the click
  EXPECT_TRUE(session.closeByEscape());
  EXPECT_THAT(session.standInTraces().front(), HasSubstr(" operator window-end title="));
}

// Killed at any moment: every call the simulated library answered is in the stand-in's trace, but
// at most the last, which the kill caught before it returned through the stand-in; that one, or a
// call the kill caught inside the library, shows in flight. The kills fall in the configuration's
// burst of calls (the worker is nearly always inside one), in a homing's polling and after it.
TEST(ThroughTheStandIn, AKillAtAnyMomentLeavesEveryCallThatReturnedAndTheOneInFlight) {
  struct Moment {
    bool homing;           // after the configuration, during a homing
    const char* answered;  // once the simulated library has answered this call
    DWORD thenMs;          // and this much later
  };
  const Moment moments[] = {{false, "PCAN_SetAccel(1, ", 0},
                            {false, "PCAN_SetMicroStep(2, ", 0},
                            {true, "PCAN_StartRelStep(1, ", 0},
                            {true, "PCAN_StartRelStep(1, ", 270}};
  const auto callText = [](const trace::Record& r) {
    return r.signature() + " -> " + std::to_string(r.result.value_or(-999));
  };
  int caughtInFlight = 0;
  for (const Moment& moment : moments) {
    SCOPED_TRACE(std::string(moment.answered) + " +" + std::to_string(moment.thenMs) + " ms");
    SessionOptions options;
    options.throughTracer = true;
    options.simulatorSettings = {{L"HALVANE_SIM_TIME_SCALE", L"5"},
                                 {L"HALVANE_SIM_START_ANGLE", L"1:180,2:200"}};
    ProgramSession session(options);
    ASSERT_TRUE(session.started());
    if (moment.homing) {
      ASSERT_TRUE(openAndConfigure(session));
      session.window().click(IDC_RESET1);
    } else {
      session.window().click(IDC_OPEN);
    }
    ASSERT_TRUE(waitUntil([&] { return countStartingWith(session.calls(), moment.answered) > 0; },
                          std::chrono::seconds(20)));
    Sleep(moment.thenMs);  // the moment of the kill, not a wait for anything
    ASSERT_TRUE(TerminateProcess(session.process(), 9));
    ASSERT_EQ(WaitForSingleObject(session.process(), 10000), WAIT_OBJECT_0);

    std::vector<std::string> answered;
    for (const trace::Record& r : recordsOf(parseTrace(session.trace()))) {
      if (r.kind == trace::Kind::Call) {
        answered.push_back(callText(r));
      }
    }
    const auto traces = session.standInTraces();
    ASSERT_EQ(traces.size(), 1u);
    const trace::ReadResult read = trace::readTrace(traces.front());
    ASSERT_FALSE(read.error) << trace::describe(*read.error);
    std::vector<std::string> returned, inFlight;
    for (const trace::Record& r : read.records) {
      if (r.kind == trace::Kind::Call) {
        returned.push_back(callText(r));
      } else if (r.kind == trace::Kind::InFlight) {
        inFlight.push_back(r.signature());
      }
    }
    ASSERT_LE(returned.size(), answered.size());
    EXPECT_GE(returned.size() + 1, answered.size()) << "a call that returned is missing";
    EXPECT_TRUE(std::equal(returned.begin(), returned.end(), answered.begin()));
    EXPECT_LE(inFlight.size(), 1u);
    if (answered.size() > returned.size()) {
      ASSERT_EQ(inFlight.size(), 1u) << "the call the kill caught shows in flight";
      EXPECT_EQ(inFlight.front() + " -> ", answered.back().substr(0, inFlight.front().size() + 4));
    }
    caughtInFlight += inFlight.empty() ? 0 : 1;
  }
  RecordProperty("kills_that_caught_a_call_in_flight", caughtInFlight);
}

TEST(ThroughTheStandIn, WithNoVendorLibraryTheProgramBehavesAsWithNoneAndTheTraceSaysWhy) {
  SessionOptions options;
  options.throughTracer = true;
  options.tracerWithoutVendor = true;
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  EXPECT_EQ(session.standardOutput(),
            "load PUSICANControl.dll FAIL!\r\nload PUSICANControl.dll FAIL!\r\n");
  session.window().click(IDC_OPEN);
  EXPECT_EQ(session.window().takeMessage(), L"PCAN_Init fail!\n");
  const auto traces = session.standInTraces();
  ASSERT_FALSE(traces.empty());
  EXPECT_THAT(traces.front(), HasSubstr(" event vendor-absent "));
  EXPECT_FALSE(trace::readTrace(traces.front()).error);
}

// A program folder the operator cannot write (here a file holds the traces folder's name): the
// trace goes under the user's local application data, and its header says where.
TEST(ThroughTheStandIn, WhereItsFolderCannotBeWrittenTheTraceGoesUnderLocalAppData) {
  const std::wstring localData = freshTestFolder(L"stand-in-local-app-data");
  SessionOptions options;
  options.throughTracer = true;
  options.libraryFolderFiles = {{simulatorPath(), L"traces"}};
  options.simulatorSettings = {{L"LOCALAPPDATA", localData}};
  ProgramSession session(options);
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.window().clickAndWait(IDC_OPEN));
  EXPECT_TRUE(session.closeByEscape());
  EXPECT_TRUE(session.standInTraces().empty());
  const auto traces = standInTracesIn(localData + L"\\Halvane\\traces");
  ASSERT_EQ(traces.size(), 1u);
  const trace::ReadResult read = trace::readTrace(traces.front());
  ASSERT_FALSE(read.error);
  ASSERT_FALSE(read.records.empty());
  const std::string* where = read.records.front().field("trace");
  ASSERT_NE(where, nullptr);
  EXPECT_THAT(*where, HasSubstr("stand-in-local-app-data\\Halvane\\traces\\halvane-"));
  EXPECT_THAT(traces.front(), HasSubstr("PCAN_Init("));
}

}  // namespace
}  // namespace halvane::e2e
