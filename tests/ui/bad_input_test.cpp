// Whatever is typed into the twelve boxes the window reads as numbers, nothing crashes and no wheel
// moves further than the typed text could mean: the commands run on the real worker and the steps
// they start are checked against the digits that were typed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>

#include "tests/ui/worker_window_fixture.h"

namespace halvane::testing {
namespace {

const std::vector<std::string> kCorpus = {
    "",       "abc",    "   ",        "-",          "+5",          "-0",
    "0x10",   "１２３", "2147483647", "2147483648", "-2147483649", std::string(1000, '7'),
    "中文",   "12abc",  " 42",        "-90",        "4294967296",  "1e9",
    "\t7",    "+",      "--5",        "0007",       "-2147483648", "120795955",
    "1000000"};

// Steps of a degree at the configured microstep 32.
constexpr double kStepsPerDegree = 200.0 * 32 / 360;

// The largest magnitude the text's leading digits (after blanks and one sign) spell, as typed;
// 0 when it begins with no digit. Saturates far above anything 32 bits hold.
double typedMagnitude(const std::string& text) {
  size_t at = text.find_first_not_of(" \t");
  if (at == std::string::npos) {
    return 0;
  }
  if (text[at] == '-' || text[at] == '+') {
    ++at;
  }
  double value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = std::min(value * 10 + (text[at] - '0'), 1e30);
  }
  return value;
}

bool typedNegative(const std::string& text) {
  const size_t at = text.find_first_not_of(" \t");
  return at != std::string::npos && text[at] == '-';
}

// The step count of the last move started since the calls were cleared; nothing when none was.
std::optional<int64_t> lastStart(const FakeControllerLibrary& library) {
  const auto starts = library.callsNamed("PCAN_StartRelStep");
  if (starts.empty()) {
    return std::nullopt;
  }
  return std::atoll(starts.back().c_str() + starts.back().find(", ") + 2);
}

class BadInputTest : public WorkerWindowTest {
 protected:
  void SetUp() override {
    WorkerWindowTest::SetUp();
    dlg().onOpen();
    dlg().onTimer(TIMER_ONLINE_CHECK);
    deliverReply();
  }
  // Runs a command if the window posts one, and hands its reply back; a click the window refuses
  // must say why.
  void run(const std::function<void()>& click) {
    const size_t before = replies_.replies().size();
    window_.clearEvents();
    library_.clearCalls();
    click();
    if (enabledCommandButtons() == 0) {
      deliverReply();
      EXPECT_EQ(replies_.replies().size(), before + 1) << "one reply per command";
    } else {
      EXPECT_THAT(window_.messages(), ::testing::SizeIs(1)) << "a refused click says why";
      EXPECT_EQ(replies_.replies().size(), before) << "a refused click posts nothing";
    }
    EXPECT_EQ(enabledCommandButtons(), 8) << "the buttons must come back";
  }
};

TEST_F(BadInputTest, AnglesTurnAWheelByWhatTheDigitsTypedMeanOrNotAtAll) {
  const int angleBoxes[] = {IDC_FORWARD_ANGLE1, IDC_REVERSE_ANGLE1, IDC_FORWARD_ANGLE2,
                            IDC_REVERSE_ANGLE2};
  for (int box : angleBoxes) {
    const int axis = box >= IDC_FORWARD_ANGLE2 ? 1 : 0;
    const bool forward = box == IDC_FORWARD_ANGLE1 || box == IDC_FORWARD_ANGLE2;
    for (const std::string& text : kCorpus) {
      window_.type(box, text);
      run([&] { forward ? dlg().onSendForward(axis) : dlg().onSendReverse(axis); });
      const std::optional<int64_t> steps = lastStart(library_);
      if (!steps.has_value() || *steps == 0) {
        continue;  // refused, or read as no angle: the wheel stays
      }
      // A negative angle would turn the wheel against its button; a count that wrapped would
      // land anywhere. Either is a move the digits never meant.
      EXPECT_FALSE(typedNegative(text)) << text << " moved " << *steps;
      EXPECT_LT(std::abs(static_cast<double>(*steps) - typedMagnitude(text) * kStepsPerDegree), 1)
          << text << " moved " << *steps;
    }
    window_.type(box, "180");
  }
}

TEST_F(BadInputTest, SpeedsSentAreNeverLargerThanTheDigitsTypedAndNeverChangeTheDistance) {
  const int speedBoxes[] = {IDC_START_SPEED1, IDC_MAX_SPEED1, IDC_START_SPEED2, IDC_MAX_SPEED2};
  for (int box : speedBoxes) {
    const int axis = box >= IDC_START_SPEED2 ? 1 : 0;
    const int node = axis + 1;
    const std::string exportName =
        box == IDC_MAX_SPEED1 || box == IDC_MAX_SPEED2 ? "PCAN_SetMaxSpeed" : "PCAN_SetStartSpeed";
    for (const std::string& text : kCorpus) {
      window_.type(box, text);
      run([&] { dlg().onSendForward(axis); });
      for (const std::string& call : library_.callsNamed(exportName)) {
        const double sent = std::atof(call.c_str() + call.find(", ") + 2);
        EXPECT_LE(std::abs(sent), typedMagnitude(text)) << text;
        EXPECT_EQ(call.rfind(exportName + "(" + std::to_string(node) + ", ", 0), 0u) << call;
      }
      EXPECT_EQ(lastStart(library_), 3200) << "180 degrees at 32 microsteps, whatever the speed";
    }
    window_.type(box, box == IDC_MAX_SPEED1 || box == IDC_MAX_SPEED2 ? "4000" : "600");
  }
}

TEST_F(BadInputTest, EveryRowOfTheParameterListsMovesTheWheelByWhatItShows) {
  // Drop-down lists hold no typed text: a row of theirs, or no row at all, is all they can give.
  const int lists[] = {IDC_ACCEL1, IDC_MICROSTEP1, IDC_ACCEL2, IDC_MICROSTEP2};
  for (int list : lists) {
    const int axis = list >= IDC_ACCEL2 ? 1 : 0;
    const bool microstepList = list == IDC_MICROSTEP1 || list == IDC_MICROSTEP2;
    const int rows = static_cast<int>(window_.listItems(list).size());
    for (int row = -1; row < rows; ++row) {
      window_.select(list, row);
      const std::string shown = window_.text(list);
      run([&] { dlg().onReset(axis); });  // the way a changed microstep is put in force
      run([&] { dlg().onSendForward(axis); });
      // 180 degrees: half a revolution of 200 full steps at the microstep in force.
      const int64_t microstep = microstepList ? std::atoi(shown.c_str()) : 32;
      EXPECT_EQ(lastStart(library_), 100 * microstep) << "row " << row << " \"" << shown << "\"";
    }
    window_.select(list, 5);
    run([&] { dlg().onReset(axis); });
  }
}

}  // namespace
}  // namespace halvane::testing
