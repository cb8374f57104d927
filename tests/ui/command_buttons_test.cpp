// The eight command buttons: what each stores and posts, the microstep guard, the negative-angle
// refusal, and the replies that switch the buttons back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/main_window_fixture.h"
#include "ui/operator_texts.h"

namespace halvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class CommandButtonsTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    bringUp();
  }
  CMotorAxis* axis(int index) { return index == 0 ? first() : second(); }
};

struct Button {
  int id;
  int axis;
  unsigned message;
  bool guarded;
};
constexpr Button kButtons[] = {
    {IDC_SEND_POSITION1, 0, WM_AXIS1_GOTO, true},   {IDC_SEND_FORWARD1, 0, WM_AXIS1_FORWARD, true},
    {IDC_SEND_REVERSE1, 0, WM_AXIS1_REVERSE, true}, {IDC_SEND_POSITION2, 1, WM_AXIS2_GOTO, true},
    {IDC_SEND_FORWARD2, 1, WM_AXIS2_FORWARD, true}, {IDC_SEND_REVERSE2, 1, WM_AXIS2_REVERSE, true},
    {IDC_RESET1, 0, WM_AXIS1_HOME, false},          {IDC_RESET2, 1, WM_AXIS2_HOME, false},
};

TEST_F(CommandButtonsTest, EachButtonDisablesAllEightAndPostsItsCommandWithItsAxis) {
  for (const Button& button : kButtons) {
    SCOPED_TRACE(button.id);
    dlg().onReply(WM_AXIS1_HOME, 1);  // the previous command's reply
    const size_t before = channel_->posts().size();
    ASSERT_TRUE(dlg().onButtonClicked(button.id));
    ASSERT_EQ(channel_->posts().size(), before + 1);
    EXPECT_EQ(channel_->posts().back(), RecordingChannel::Post(button.message, axis(button.axis)));
    EXPECT_EQ(enabledCommandButtons(), 0);
  }
  EXPECT_THAT(window_.messages(), IsEmpty());
}

TEST_F(CommandButtonsTest, AChangedMicrostepBlocksOnlyThatTurntablesMovesAndNeverItsReset) {
  for (int changedAxis : {0, 1}) {
    SCOPED_TRACE(changedAxis);
    window_.select(IDC_MICROSTEP1, 5);
    window_.select(IDC_MICROSTEP2, 5);
    window_.select(changedAxis == 0 ? IDC_MICROSTEP1 : IDC_MICROSTEP2, 4);  // "16"
    for (const Button& button : kButtons) {
      dlg().onReply(WM_AXIS1_HOME, 1);
      window_.clearEvents();
      const size_t before = channel_->posts().size();
      dlg().onButtonClicked(button.id);
      if (button.guarded && button.axis == changedAxis) {
        EXPECT_THAT(window_.messages(), ElementsAre(std::string(texts::kMicrostepChanged)));
        EXPECT_EQ(channel_->posts().size(), before) << button.id;
        EXPECT_EQ(enabledCommandButtons(), 8) << button.id;
      } else {
        EXPECT_THAT(window_.messages(), IsEmpty()) << button.id;
        EXPECT_EQ(channel_->posts().size(), before + 1) << button.id;
      }
    }
  }
}

TEST_F(CommandButtonsTest, APositionSendStoresTheSelectedRowAsSlot) {
  window_.select(IDC_POSITION1, 2);
  window_.select(IDC_POSITION2, 5);
  dlg().onSendPosition(0);
  dlg().onReply(WM_AXIS1_GOTO, 1);
  dlg().onSendPosition(1);
  EXPECT_EQ(dlg().table().slot(0), 2);
  EXPECT_EQ(dlg().table().slot(1), 5);
}

TEST_F(CommandButtonsTest, RotationsStoreTheirOwnAngleAndEmptyTextReadsZero) {
  window_.type(IDC_FORWARD_ANGLE1, "45");
  window_.type(IDC_REVERSE_ANGLE1, "30");
  window_.type(IDC_FORWARD_ANGLE2, "");
  window_.type(IDC_REVERSE_ANGLE2, " 720");
  for (int id : {IDC_SEND_FORWARD1, IDC_SEND_REVERSE1, IDC_SEND_FORWARD2, IDC_SEND_REVERSE2}) {
    dlg().onButtonClicked(id);
    dlg().onReply(WM_AXIS1_FORWARD, 1);
  }
  EXPECT_EQ(dlg().table().forwardAngle(0), 45);
  EXPECT_EQ(dlg().table().reverseAngle(0), 30);
  EXPECT_EQ(dlg().table().forwardAngle(1), 0);
  EXPECT_EQ(dlg().table().reverseAngle(1), 720);
  EXPECT_EQ(channel_->posts().size(), 5u);
}

TEST_F(CommandButtonsTest, ANegativeAngleIsRefusedBeforeAnythingIsPosted) {
  for (int id : {IDC_SEND_FORWARD1, IDC_SEND_REVERSE1, IDC_SEND_FORWARD2, IDC_SEND_REVERSE2}) {
    SCOPED_TRACE(id);
    const int angleBox = id - (IDC_SEND_FORWARD1 - IDC_FORWARD_ANGLE1);
    window_.type(angleBox, "-90");
    window_.clearEvents();
    dlg().onButtonClicked(id);
    EXPECT_THAT(window_.messages(), ElementsAre(std::string(texts::kNegativeAngle)));
    EXPECT_EQ(enabledCommandButtons(), 8);
    window_.type(angleBox, "180");
  }
  EXPECT_EQ(channel_->posts().size(), 1u);  // the configuration only
  EXPECT_EQ(dlg().table().forwardAngle(0), 0);
  EXPECT_EQ(dlg().table().reverseAngle(1), 0);
}

TEST_F(CommandButtonsTest, EveryCommandReadsAllEightParameterControls) {
  window_.select(IDC_ACCEL2, 8);
  window_.select(IDC_MICROSTEP2, 5);
  window_.type(IDC_START_SPEED2, "  1200");
  window_.type(IDC_MAX_SPEED1, "");
  dlg().onReset(0);
  EXPECT_TRUE((dlg().table().requested(0) == AxisParameters{5, 32, 600, 0}));
  EXPECT_TRUE((dlg().table().requested(1) == AxisParameters{8, 32, 1200, 4000}));
}

TEST_F(CommandButtonsTest, RepliesSwitchTheEightButtons) {
  dlg().onReply(WM_AXIS_CONFIGURE, 0);
  EXPECT_EQ(enabledCommandButtons(), 0);
  dlg().onReply(WM_AXIS_CONFIGURE, 1);
  EXPECT_EQ(enabledCommandButtons(), 8);
  for (unsigned message = WM_AXIS1_HOME; message <= WM_AXIS2_REVERSE; ++message) {
    dlg().onReply(WM_AXIS_CONFIGURE, 0);
    dlg().onReply(message, 0);
    EXPECT_EQ(enabledCommandButtons(), 8) << message;
  }
  dlg().onReply(WM_AXIS_CONFIGURE, 0);
  dlg().onReply(WM_AXIS_CONFIGURE - 1, 1);
  dlg().onReply(WM_AXIS2_REVERSE + 1, 1);
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_FALSE(window_.isEnabled(IDC_OPEN));  // replies touch only the eight
  EXPECT_TRUE(window_.isEnabled(IDC_CLOSE));
}

}  // namespace
}  // namespace halvane::testing
