#include "motion/homing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "motion/moves.h"
#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::FakeControllerLibrary;
using testing::FakeRig;
using ::testing::IsEmpty;

constexpr unsigned char kMoving = 0x08;
constexpr unsigned char kAtRest = 0x00;

// Calls without the reads the wait makes while the motor turns: its position reads, and the control
// status reads but the last, which the homing goes on with.
std::vector<std::string> callsBesidesPolling(const FakeControllerLibrary& library) {
  std::vector<std::string> calls;
  for (const std::string& call : library.calls()) {
    const bool statusRead = call.rfind("PCAN_GetControlStatus(", 0) == 0;
    if (statusRead && !calls.empty() && calls.back() == call) {
      calls.pop_back();
    }
    if (call.rfind("PCAN_GetMotorPos(", 0) != 0) {
      calls.push_back(call);
    }
  }
  return calls;
}

const std::vector<std::string> kFullHoming = {
    "PCAN_GetGPIOValue(1, &)",     "PCAN_SetExtStopTrigger(1, 0)", "PCAN_SetExtStopEnable(1, 1)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetWorkMode(1, 0)",       "PCAN_SetMaxSpeed(1, -800)",
    "PCAN_StartRelStep(1, 600)",   "PCAN_GetControlStatus(1, &)",  "PCAN_SetExtStopEnable(1, 0)",
    "PCAN_ClearExtStopFlag(1, 1)", "PCAN_SetMotorPos(1, 0)",       "PCAN_SetMaxSpeed(1, 4000)"};

std::vector<std::string> without(std::vector<std::string> calls, const std::string& call) {
  calls.erase(std::find(calls.begin(), calls.end(), call));
  return calls;
}

// The first turntable off its switch, reaching it with the homing move.
void setOffTheSwitch(FakeRig& rig) {
  rig.configure({5, 2, 600, 4000});
  rig.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 1, kControlStoppedBySwitch);
}

// The table runs at the program's own homing timings: how soon a row ends is what an operator
// would see. Only the bound is the tests' own, so that a row that never rests ends soon.
constexpr std::chrono::milliseconds kBoundInTests{8000};  // the rows that rest end well before
// A loaded machine wakes a waiting thread late: under Wine, with the Windows suite's programs
// busy, timed waits were seen to end up to 80 ms late. How soon a row ends is allowed this much
// on top of the row's own margin; it stays well under the half second that tells the paths apart.
constexpr std::chrono::milliseconds kWakeUpAllowance{150};

HomingTimings programTimingsForTests() {
  HomingTimings timings;
  timings.minimumBound = kBoundInTests;
  timings.boundPerStepMs = 0.0;
  return timings;
}

// A library behaviour scripted on the program's clock (ms from the start of the homing move): the
// wheel turns for `travelMs` at the homing speed and stands, stopped by its switch or not; reports
// come at their times (negative: inside the start call).
struct TimedReport {
  int atMs;
  unsigned char status;  // the second status byte
};

struct WheelScript {
  enum class Position {
    Live,
    Lagging,  // refreshed every refreshMs
    Delayed,  // the wheel as it was lagMs ago
    Wavering,
    Frozen,
    AtRestOnly,
    Failing,
    FailingNowAndThen,  // every third read
    Missing
  };
  int travelMs = 1500;
  std::vector<TimedReport> reports{};
  Position position = Position::Live;
  bool stoppedBySwitch = true;
  int refreshMs = 0;                   // lagging: the value read is refreshed this often
  int repeatRestEveryMs = 0;           // a rest report this often from the real rest on
  std::set<int> failingStatusReads{};  // which control status reads fail (1 the first)
  bool flagLeftLatched = false;        // the flag cannot be cleared: bit 0 is set from before
  int microstep = 2;
  int jumpCounts = 0;
  int lagMs = 0;
  bool statusMissing =
      false;  // the move's end shown from the start on: a short move ended inside the call
};

constexpr int kStartPosition = 5000;
constexpr double kCountsPerMs = 0.8;  // the homing speed

// The wheel behind the fake library, and what the homing did to it: whether it was zeroed or its
// stop disarmed while it turned, when it was zeroed, and when each evidence read was made.
class ScriptedWheel {
  static constexpr const char* kHandled[] = {"PCAN_StartRelStep", "PCAN_GetMotorPos",
                                             "PCAN_GetControlStatus", "PCAN_SetMotorPos",
                                             "PCAN_SetExtStopEnable"};

 public:
  ScriptedWheel(FakeRig& rig, WheelScript script) : rig_(rig), script_(std::move(script)) {
    for (const char* name : kHandled) {
      rig_.library.setHandler(name, [this, name](const FakeControllerLibrary::Arguments& a) {
        return handle(name, a);
      });
    }
    if (script_.position == WheelScript::Position::Missing) {
      rig_.library.removeExport("PCAN_GetMotorPos");
    }
    if (script_.flagLeftLatched) {
      rig_.library.removeExport("PCAN_ClearExtStopFlag");
    }
    if (script_.statusMissing) {
      rig_.library.removeExport("PCAN_GetControlStatus");
    }
  }
  ~ScriptedWheel() {  // the library answers as before it again
    stopReports();
    for (const char* name : kHandled) {
      rig_.library.setHandler(name, {});
    }
  }

  struct Outcome {
    bool endedWhileTurning = false;
    std::optional<double> zeroedAtMs;
    std::vector<double> evidenceReadsAtMs;  // position and status reads, but the homing's last one
  };
  Outcome outcome() {
    std::lock_guard lock(mutex_);
    Outcome o = outcome_;
    if (!statusReadsAtMs_.empty()) {
      statusReadsAtMs_.pop_back();
    }
    o.evidenceReadsAtMs.insert(o.evidenceReadsAtMs.end(), statusReadsAtMs_.begin(),
                               statusReadsAtMs_.end());
    std::sort(o.evidenceReadsAtMs.begin(), o.evidenceReadsAtMs.end());
    return o;
  }

 private:
  using Clock = std::chrono::steady_clock;

  double nowMs() const {  // program time since the start
    return std::chrono::duration<double, std::milli>(Clock::now() - startedAt_).count();
  }
  bool turning(double ms) const { return started_ && ms < script_.travelMs; }
  int positionAt(double ms) const {
    if (!started_) {
      return kStartPosition;
    }
    const double travelled = std::clamp(ms, 0.0, static_cast<double>(script_.travelMs));
    return kStartPosition - script_.jumpCounts - static_cast<int>(kCountsPerMs * travelled);
  }

  // A later move (the next command's) starts the script over.
  void stopReports() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (reporter_.joinable()) {
      reporter_.join();
    }
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }

  int handle(const std::string& name, const FakeControllerLibrary::Arguments& a) {
    using P = WheelScript::Position;
    std::vector<unsigned char> inside;
    int result = 0;
    if (name == "PCAN_StartRelStep") {
      stopReports();
    }
    {
      std::lock_guard lock(mutex_);
      const double ms = started_ ? nowMs() : -1;
      if (name == "PCAN_StartRelStep") {
        started_ = true;
        startedAt_ = Clock::now();
        node_ = a.node();
        for (const TimedReport& report : script_.reports) {
          if (report.atMs < 0) {
            inside.push_back(report.status);
          }
        }
        reporter_ = std::thread([this] { sendReports(); });
      } else if (name == "PCAN_GetMotorPos") {
        outcome_.evidenceReadsAtMs.push_back(ms);
        ++positionReads_;
        const double settled = turning(ms) ? 0 : ms;
        switch (script_.position) {
          case P::Live:
            *a.out = positionAt(ms);
            break;
          case P::Lagging:
            *a.out = positionAt(ms - std::fmod(ms + script_.refreshMs / 2, script_.refreshMs));
            break;
          case P::Delayed:
            *a.out = positionAt(ms - script_.lagMs);
            break;
          case P::FailingNowAndThen:
            *a.out = positionAt(ms);
            result = positionReads_ % 3 == 0 ? 1 : 0;
            break;
          case P::Wavering:
            *a.out = positionAt(ms) + positionReads_ % 2;
            break;
          case P::AtRestOnly:
            *a.out = positionAt(settled);
            break;
          case P::Failing:
            result = 1;
            break;
          case P::Frozen:
          case P::Missing:
            break;  // never written
        }
      } else if (name == "PCAN_GetControlStatus") {
        statusReadsAtMs_.push_back(ms);
        const bool bySwitch =
            (script_.stoppedBySwitch && started_ && !turning(ms)) || script_.flagLeftLatched;
        *a.out = bySwitch ? kControlStoppedBySwitch : 0;
        result =
            script_.failingStatusReads.count(static_cast<int>(statusReadsAtMs_.size())) ? 1 : 0;
      } else if (name == "PCAN_SetMotorPos" || a.values[1] == 0) {
        outcome_.endedWhileTurning |= turning(ms);
        if (name == "PCAN_SetMotorPos") {
          outcome_.zeroedAtMs = ms;
        }
      }
    }
    for (unsigned char report : inside) {
      rig_.library.fireStatus(a.node(), kStatusKindMotion, report);
    }
    return result;
  }

  // The library's thread: the reports at their times, then the repeated rest reports.
  void sendReports() {
    std::vector<TimedReport> due;
    for (const TimedReport& report : script_.reports) {
      if (report.atMs >= 0) {
        due.push_back(report);
      }
    }
    if (script_.repeatRestEveryMs > 0) {
      for (int ms = script_.travelMs; ms < kBoundInTests.count(); ms += script_.repeatRestEveryMs) {
        due.push_back({ms, kAtRest});
      }
    }
    std::stable_sort(due.begin(), due.end(),
                     [](const TimedReport& a, const TimedReport& b) { return a.atMs < b.atMs; });
    for (const TimedReport& report : due) {
      std::unique_lock lock(mutex_);
      const auto at = startedAt_ + std::chrono::milliseconds(report.atMs);
      if (changed_.wait_until(lock, at, [this] { return stopping_; })) {
        return;
      }
      lock.unlock();
      rig_.library.fireStatus(node_, kStatusKindMotion, report.status);
    }
  }

  FakeRig& rig_;
  const WheelScript script_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  bool started_ = false;
  Clock::time_point startedAt_;
  int node_ = 1;
  int positionReads_ = 0;
  std::vector<double> statusReadsAtMs_;
  Outcome outcome_;
  std::thread reporter_;
};

// The most evidence reads in any second of program time.
size_t mostReadsInASecond(const std::vector<double>& readsAtMs) {
  size_t most = 0;
  for (size_t first = 0; first < readsAtMs.size(); ++first) {
    const auto end = std::lower_bound(readsAtMs.begin() + static_cast<long>(first), readsAtMs.end(),
                                      readsAtMs[first] + 1000);
    most = std::max(most, static_cast<size_t>(end - readsAtMs.begin()) - first);
  }
  return most;
}

// Every library behaviour the wait admits, one row each, at the program's timings.
struct AdmittedBehaviour {
  const char* name;
  WheelScript script;
  std::vector<std::string> alerts;
  int mostLateMs;  // real rest to the zero
};

// A failure names the row, not its bytes.
void PrintTo(const AdmittedBehaviour& row, std::ostream* out) {
  *out << row.name;
}

const std::vector<std::string> kNoAlert;
const std::vector<std::string> kNoSwitch = {"Failure of home switch!!\n"};
const std::vector<std::string> kTimedOut = {"Homing timeout: the motor did not come to rest!\n"};

std::vector<AdmittedBehaviour> admittedBehaviours() {
  using P = WheelScript::Position;
  const std::vector<std::string>& none = kNoAlert;
  const std::vector<std::string>& noSwitch = kNoSwitch;
  const std::vector<std::string>& timeout = kTimedOut;
  const TimedReport moving{-1, kMoving};
  const TimedReport staleInside{-1, kAtRest};
  return {
      {"reports in order", {.reports = {moving, {1500, kAtRest}}}, none, 250},
      {"the rest report late by 300 ms", {.reports = {moving, {1800, kAtRest}}}, none, 750},
      {"a stale rest inside the start",
       {.reports = {moving, staleInside, {1500, kAtRest}}},
       none,
       250},
      {"a stale rest after the start's moving report",
       {.reports = {moving, {20, kMoving}, {30, kAtRest}, {1500, kAtRest}}},
       none,
       250},
      {"the rest report lost", {.reports = {moving}}, none, 750},
      {"the rest report lost, no switch",
       {.reports = {moving}, .stoppedBySwitch = false},
       noSwitch,
       1600},
      {"a stale rest, the real one lost, no switch",
       {.reports = {moving, staleInside}, .stoppedBySwitch = false},
       noSwitch,
       1600},
      {"fault 6: rest repeated every 50 ms, nothing proves rest",
       {.reports = {moving},
        .position = P::Frozen,
        .stoppedBySwitch = false,
        .repeatRestEveryMs = 50},
       timeout,
       0},
      {"rest repeated every 50 ms, no switch",
       {.reports = {moving}, .stoppedBySwitch = false, .repeatRestEveryMs = 50},
       noSwitch,
       1000},
      {"fault 2: a position refreshed every 400 ms, a stale rest after a read, no switch",
       {.travelMs = 3000,
        .reports = {moving, {260, kAtRest}, {3000, kAtRest}},
        .position = P::Lagging,
        .stoppedBySwitch = false,
        .refreshMs = 400},
       noSwitch,
       2000},
      {"a position refreshed every 400 ms, the rest report lost",
       {.travelMs = 3000, .reports = {moving}, .position = P::Lagging, .refreshMs = 400},
       none,
       750},
      {"a position 1.5 s behind the wheel, the rest report lost, no switch",
       {.reports = {moving}, .position = P::Delayed, .stoppedBySwitch = false, .lagMs = 1500},
       noSwitch,
       3100},
      {"fault 4: a wavering position, the rest report lost",
       {.reports = {moving}, .position = P::Wavering},
       none,
       750},
      {"a wavering position, the rest report lost, no switch",
       {.reports = {moving}, .position = P::Wavering, .stoppedBySwitch = false},
       noSwitch,
       1600},
      {"position reads failing",
       {.reports = {moving, {1500, kAtRest}}, .position = P::Failing},
       none,
       250},
      {"position reads failing, the rest report lost",
       {.reports = {moving}, .position = P::Failing},
       none,
       750},
      {"position reads failing now and then, no switch",
       {.reports = {moving, {1500, kAtRest}},
        .position = P::FailingNowAndThen,
        .stoppedBySwitch = false},
       noSwitch,
       1600},
      {"position reads failing, no report, no switch",
       {.reports = {moving}, .position = P::Failing, .stoppedBySwitch = false},
       timeout,
       0},
      {"no position read",
       {.reports = {moving, staleInside, {1500, kAtRest}}, .position = P::Missing},
       none,
       250},
      {"a frozen position, a stale rest",
       {.reports = {moving, staleInside, {1500, kAtRest}}, .position = P::Frozen},
       none,
       250},
      {"a position seen only at rest, a stale rest, no switch",
       {.reports = {moving, staleInside, {1500, kAtRest}},
        .position = P::AtRestOnly,
        .stoppedBySwitch = false},
       noSwitch,
       1600},
      {"fault 1: the end shown at the first read, rest 200 ms later, no switch",
       {.travelMs = 0,
        .reports = {moving, {200, kAtRest}},
        .stoppedBySwitch = false,
        .jumpCounts = 600},
       noSwitch,
       1000},
      {"a position that ignores the move, no switch",
       {.travelMs = 0,
        .reports = {moving, {200, kAtRest}},
        .position = P::Frozen,
        .stoppedBySwitch = false},
       timeout,
       0},
      {"fault 3: one status read failing while the wheel turns",
       {.reports = {moving, {1500, kAtRest}}, .position = P::Frozen, .failingStatusReads = {1}},
       none,
       250},
      {"status reads failing now and then, the rest report lost",
       {.reports = {moving}, .failingStatusReads = {1, 3, 4}},
       none,
       1600},
      {"no status read: bit 0 never set",
       {.reports = {moving, {1500, kAtRest}}, .statusMissing = true},
       noSwitch,
       1600},
      {"a flag that cannot be cleared, a stale rest",
       {.reports = {moving, staleInside, {1500, kAtRest}},
        .stoppedBySwitch = false,
        .flagLeftLatched = true},
       none,
       1600},
      {"fault 5: a start of no steps after a rotation of none",
       {.travelMs = 0, .stoppedBySwitch = false, .microstep = 0},
       noSwitch,
       500},
  };
}

// "fault 3: one status read failing" -> "Fault3OneStatusReadFailing": the case's name in the list.
std::string caseName(const ::testing::TestParamInfo<AdmittedBehaviour>& info) {
  std::string name;
  bool wordStart = true;
  for (const char* c = info.param.name; *c != '\0'; ++c) {
    const bool alnum = std::isalnum(static_cast<unsigned char>(*c)) != 0;
    if (alnum) {
      name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(*c))) : *c;
    }
    wordStart = !alnum;
  }
  return name;
}

// Each row a case of its own, so that the rows, each some seconds long at the program's timings,
// run side by side: the wait never disarms the stop nor zeroes while the wheel turns, makes at
// most 8 reads a second, ends where it should within the time given, and refuses a zero where
// nothing proves rest.
class HomingWait : public ::testing::TestWithParam<AdmittedBehaviour> {};

TEST_P(HomingWait, EndsAsTheTableSays) {
  const AdmittedBehaviour& row = GetParam();
  FakeRig rig;
  setOffTheSwitch(rig);
  rig.context->homing = programTimingsForTests();
  rig.configure({5, row.script.microstep, 600, 4000});
  if (row.script.microstep == 0) {
    rig.library.fireStatus(1, kStatusKindMotion, kMoving);  // a rotation of 0 degrees
  }
  ScriptedWheel::Outcome outcome;
  {
    ScriptedWheel wheel(rig, row.script);
    runHoming(*rig.context, *rig.first, 0);
    outcome = wheel.outcome();
  }
  EXPECT_THAT(rig.alerts.texts(), ElementsAreArray(row.alerts));
  EXPECT_FALSE(outcome.endedWhileTurning);
  EXPECT_LE(mostReadsInASecond(outcome.evidenceReadsAtMs), 8u);
  if (row.alerts == kTimedOut) {
    EXPECT_FALSE(outcome.zeroedAtMs);
    return;
  }
  ASSERT_TRUE(outcome.zeroedAtMs) << "never zeroed";
  EXPECT_LE(*outcome.zeroedAtMs - row.script.travelMs, row.mostLateMs + kWakeUpAllowance.count());
  EXPECT_TRUE(rig.first->idleEvent().isSet());
}

INSTANTIATE_TEST_SUITE_P(EachAdmittedLibraryBehaviour, HomingWait,
                         ::testing::ValuesIn(admittedBehaviours()), caseName);

// A short move reported as it goes, ending on the switch; the rig's quick timings wait for it.
const WheelScript kReportedMove{.travelMs = 100, .reports = {{-1, kMoving}, {100, kAtRest}}};
// Turning, away from the switch, past any bound.
const WheelScript kNeverAtRest{.travelMs = 1000000, .stoppedBySwitch = false};

class Homing : public ::testing::Test {
 protected:
  Homing() { setOffTheSwitch(rig); }

  FakeRig rig;
  std::optional<ScriptedWheel> wheel;  // after the rig: it goes first
};

// The homing sequences: which calls, in order, and what the operator is shown.
TEST(HomingSequence, CallsInOrderForEachStartingPoint) {
  struct Case {
    const char* name;
    std::function<void(FakeRig&)> setUp;
    std::vector<std::string> calls;
    std::vector<std::string> alerts;
    WheelScript script = kReportedMove;
  };
  const std::vector<std::string> onTheSwitch = {
      "PCAN_GetGPIOValue(1, &)", "PCAN_SetExtStopEnable(1, 0)", "PCAN_ClearExtStopFlag(1, 1)",
      "PCAN_SetMotorPos(1, 0)", "PCAN_SetMaxSpeed(1, 4000)"};
  const Case cases[] = {
      {"off the switch: one and a half turns backwards", [](FakeRig&) {}, kFullHoming, {}},
      {"on the switch: zeroed without moving",
       [](FakeRig& r) { r.library.setOutValue("PCAN_GetGPIOValue", 1, 0x7F); },
       onTheSwitch,
       {}},
      {"without the input read the input word is 0: on the switch",
       [](FakeRig& r) { r.library.removeExport("PCAN_GetGPIOValue"); },
       without(onTheSwitch, "PCAN_GetGPIOValue(1, &)"),
       {}},
      {"switch not reached: reported, still zeroed",
       [](FakeRig&) {},
       kFullHoming,
       {"Failure of home switch!!\n"},
       {.travelMs = 100, .reports = {{-1, kMoving}, {100, kAtRest}}, .stoppedBySwitch = false}},
      {"without the status read bit 0 is clear: switch not reached",
       [](FakeRig& r) { r.library.removeExport("PCAN_GetControlStatus"); },
       without(kFullHoming, "PCAN_GetControlStatus(1, &)"),
       {"Failure of home switch!!\n"}},
      {"a move of no steps, the switch not reached: nothing to wait for",
       [](FakeRig& r) {
         r.configure({5, 0, 600, 4000});
       },
       [] {
         auto calls = kFullHoming;
         calls[6] = "PCAN_StartRelStep(1, 0)";
         return calls;
       }(),
       {"Failure of home switch!!\n"},
       {.travelMs = 0, .stoppedBySwitch = false}},
      {"without the start, a motor at rest on its switch is not waited for",
       [](FakeRig& r) {
         r.library.removeExport("PCAN_StartRelStep");
         r.library.setHandler("PCAN_GetControlStatus", {});  // the wheel left stopped by it
       },
       without(kFullHoming, "PCAN_StartRelStep(1, 600)"),
       {}},
  };
  for (const Case& c : cases) {
    FakeRig fresh;
    setOffTheSwitch(fresh);
    ScriptedWheel wheel(fresh, c.script);
    c.setUp(fresh);
    runHoming(*fresh.context, *fresh.first, 0);
    EXPECT_THAT(callsBesidesPolling(fresh.library), ElementsAreArray(c.calls)) << c.name;
    EXPECT_THAT(fresh.alerts.texts(), ElementsAreArray(c.alerts)) << c.name;
    EXPECT_EQ(fresh.table.applied(0).maxSpeed, 4000) << c.name;
    EXPECT_FALSE(wheel.outcome().endedWhileTurning) << c.name;
  }
}

TEST_F(Homing, AChangedMicrostepIsSentFirstAndSizesTheMove) {
  wheel.emplace(rig, kReportedMove);
  rig.table.setRequested(0, AxisParameters{5, 256, 600, 4000});
  runHoming(*rig.context, *rig.first, 0);
  const auto calls = callsBesidesPolling(rig.library);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "PCAN_SetMicroStep(1, 256)");
  EXPECT_EQ(calls[1], "PCAN_GetGPIOValue(1, &)");
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(1, 76800)"));
  EXPECT_EQ(rig.table.applied(0).microstep, 256);
}

TEST_F(Homing, TheSecondAxisUsesItsOwnNodeAndValues) {
  wheel.emplace(rig, kReportedMove);
  rig.table.setRequested(1, AxisParameters{5, 4, 600, 1000});
  rig.table.setApplied(1, &AxisParameters::maxSpeed, 1000);
  rig.table.setApplied(1, &AxisParameters::microstep, 4);
  rig.library.setOutValue("PCAN_GetGPIOValue", 2, kInputOffHomeSwitch);
  rig.library.setOutValue("PCAN_GetControlStatus", 2, kControlStoppedBySwitch);
  runHoming(*rig.context, *rig.second, 1);
  const auto calls = callsBesidesPolling(rig.library);
  EXPECT_THAT(calls, ::testing::Contains("PCAN_StartRelStep(2, 1200)"));
  EXPECT_EQ(calls.back(), "PCAN_SetMaxSpeed(2, 1000)");
}

// Without the start export nothing is started here, but a move an earlier command left turning is
// waited for on the idle event as it stands, within the bound.
TEST_F(Homing, WithoutTheStartAMoveLeftTurningIsWaitedFor) {
  rig.library.removeExport("PCAN_StartRelStep");
  rig.library.fireStatus(1, kStatusKindMotion, kMoving);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
  EXPECT_THAT(rig.library.callsNamed("PCAN_SetMotorPos"), IsEmpty());
}

TEST(HomingFailures, WithoutTheLibraryTheInputReadFails) {
  FakeRig absent(/*loadable=*/false);
  runHoming(*absent.context, *absent.first, 0);
  EXPECT_THAT(absent.alerts.texts(), ElementsAre("GetGPIOValue fail!"));
}

// The wait's own status reads settle nothing when they fail, so the homing's read at rest fails
// only with all of them; any other export fails at the given call.
void failInHoming(FakeControllerLibrary& library, const std::string& exportName, int occurrence) {
  if (exportName == "PCAN_GetControlStatus") {
    library.setHandler(exportName, [](const FakeControllerLibrary::Arguments&) { return 1; });
  } else {
    library.failOccurrence(exportName, occurrence);
  }
}

// Every call site: the failure shows its text and no later call is made.
TEST(HomingFailures, EachFailingCallEndsTheRoutineWithItsMessage) {
  const char* const texts[] = {
      "GetGPIOValue fail!",       "SetExtStopTrigger fail!\n", "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetWorkMode fail!\n",       "SetMaxSpeed fail!\n",
      "StartRelStep fail!\n",     "GetControlStatus fail!\n",  "SetExtStopEnable fail!",
      "ClearExtStopFlag fail!\n", "SetMotorPos fail!\n",       "SetMaxSpeed fail!\n"};
  for (size_t site = 0; site < kFullHoming.size(); ++site) {
    FakeRig failing;
    setOffTheSwitch(failing);
    ScriptedWheel wheel(failing, kReportedMove);
    const std::string& call = kFullHoming[site];
    const std::string exportName = call.substr(0, call.find('('));
    int occurrence = 0;
    for (size_t i = 0; i <= site; ++i) {
      occurrence += kFullHoming[i].rfind(exportName + "(", 0) == 0 ? 1 : 0;
    }
    failInHoming(failing.library, exportName, occurrence);
    runHoming(*failing.context, *failing.first, 0);
    EXPECT_THAT(failing.alerts.texts(), ElementsAre(texts[site])) << call;
    const std::vector<std::string> expected(kFullHoming.begin(),
                                            kFullHoming.begin() + static_cast<long>(site) + 1);
    EXPECT_THAT(callsBesidesPolling(failing.library), ElementsAreArray(expected)) << call;
    EXPECT_FALSE(wheel.outcome().endedWhileTurning) << call;
    // The status read fails after the wait has seen the move at rest.
    EXPECT_TRUE(failing.first->idleEvent().isSet()) << call;
  }
}

// A homing that ends after it has put its own speed on the node leaves that recorded, so the next
// move puts the operator's speed back first; after a complete homing, or one that ends before, the
// next move sends none. Also after Close and Open, whose configuration sends no maximum speed.
TEST(HomingFailures, AnEndAfterTheHomingSpeedLeavesItToTheNextMoveToReplace) {
  struct Case {
    const char* name;
    const char* failing;  // export, and which of its calls in the homing
    int occurrence;
    bool resent;
  };
  const Case cases[] = {
      {"complete", "", 0, false},
      {"work mode refused", "PCAN_SetWorkMode", 1, false},
      {"homing speed refused", "PCAN_SetMaxSpeed", 1, false},
      {"start refused", "PCAN_StartRelStep", 1, true},
      {"no rest within the bound", "", 0, true},
      {"status read failing", "PCAN_GetControlStatus", 1, true},
      {"stop not disarmed", "PCAN_SetExtStopEnable", 2, true},
      {"flag not cleared", "PCAN_ClearExtStopFlag", 2, true},
      {"position not zeroed", "PCAN_SetMotorPos", 1, true},
      {"operator's speed refused", "PCAN_SetMaxSpeed", 2, true},
  };
  enum class Next { Slot, Forward, Reverse };
  for (const Case& c : cases) {
    for (Next next : {Next::Slot, Next::Forward, Next::Reverse}) {
      for (bool reopened : {false, true}) {
        FakeRig rig;
        setOffTheSwitch(rig);
        rig.table.setSlot(0, 1);  // 66 steps from the position the library then reads, 0
        rig.table.setForwardAngle(0, 90);
        rig.table.setReverseAngle(0, 90);
        const bool rests = std::string(c.name) != "no rest within the bound";
        {
          ScriptedWheel wheel(rig, rests ? kReportedMove : kNeverAtRest);
          if (*c.failing != '\0') {
            failInHoming(rig.library, c.failing, c.occurrence);
          }
          runHoming(*rig.context, *rig.first, 0);
        }
        EXPECT_EQ(rig.table.applied(0).maxSpeed, c.resent ? kHomingMaxSpeed : 4000) << c.name;
        if (reopened) {
          rig.table.takeOverRequested();
        }
        rig.library.clearCalls();
        if (next == Next::Slot) {
          moveToSlot(*rig.context, *rig.first, 0);
        } else {
          rotate(*rig.context, *rig.first, 0,
                 next == Next::Forward ? Rotation::Forward : Rotation::Reverse);
        }
        const auto calls = rig.library.calls();
        const auto speed = std::find(calls.begin(), calls.end(), "PCAN_SetMaxSpeed(1, 4000)");
        const auto start = std::find_if(calls.begin(), calls.end(), [](const std::string& call) {
          return call.rfind("PCAN_StartRelStep(1, ", 0) == 0;
        });
        const std::string what = std::string(c.name) + (reopened ? ", reopened" : "") +
                                 ", then move " + std::to_string(static_cast<int>(next));
        ASSERT_NE(start, calls.end()) << what;
        EXPECT_EQ(speed < start, c.resent) << what;
        EXPECT_EQ(rig.table.applied(0).maxSpeed, 4000) << what;
      }
    }
  }
}

TEST_F(Homing, AMotorThatNeverComesToRestEndsTheRoutineAfterTheBound) {
  wheel.emplace(rig, kNeverAtRest);
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
  EXPECT_THAT(rig.library.callsNamed("PCAN_SetExtStopEnable"),
              ElementsAre("PCAN_SetExtStopEnable(1, 1)"));
  EXPECT_THAT(rig.library.callsNamed("PCAN_SetMotorPos"), IsEmpty());
}

TEST_F(Homing, TheBoundGrowsWithTheMove) {
  wheel.emplace(rig, kNeverAtRest);
  rig.context->homing.minimumBound = std::chrono::milliseconds(10);
  rig.context->homing.boundPerStepMs = 0.5;  // 600 steps: 300 ms
  const auto started = std::chrono::steady_clock::now();
  runHoming(*rig.context, *rig.first, 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_THAT(rig.alerts.texts(), ElementsAre("Homing timeout: the motor did not come to rest!\n"));
}

TEST(HomingFailures, AMicrostepWhoseMoveCannotBeCountedIsRefusedBeforeTheStart) {
  for (int microstep : {-2, 7158279}) {  // 7,158,279 x 300 is past the 32-bit step count
    FakeRig refusing;
    refusing.configure(AxisParameters{5, microstep, 600, 4000});
    refusing.library.setOutValue("PCAN_GetGPIOValue", 1, kInputOffHomeSwitch);
    runHoming(*refusing.context, *refusing.first, 0);
    EXPECT_THAT(refusing.alerts.texts(), ElementsAre("MicroStep out of range!\n")) << microstep;
    EXPECT_THAT(refusing.library.callsNamed("PCAN_StartRelStep"), IsEmpty()) << microstep;
  }
}

}  // namespace
}  // namespace halvane
