// What the window shows and has done once its initialisation has run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/main_window_fixture.h"
#include "ui/operator_texts.h"

namespace halvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class InitialStateTest : public MainWindowTest {};

TEST_F(InitialStateTest, ListsHoldTheirItemsInOrderWithTheDefaultRowsSelected) {
  EXPECT_THAT(
      window_.listItems(IDC_ADAPTER_LIST),
      ElementsAre("蓝马电子A1+", "乐的USB-CAN", "YL9100", "IXXAT", "广成USBCAN-I", "周立功USBCAN-I",
                  "周立功USBCAN-E-U", "周立功CANET-TCPC", "创芯CANalyst-II"));
  EXPECT_THAT(window_.listItems(IDC_BAUD_LIST),
              ElementsAre("10Kbps", "20Kbps", "50Kbps", "100Kbps", "125Kbps", "250Kbps", "500Kbps",
                          "800Kbps", "1000Kbps"));
  for (int offset : {0, IDC_SECOND_AXIS_OFFSET}) {
    EXPECT_THAT(window_.listItems(IDC_ACCEL1 + offset),
                ElementsAre("0", "1", "2", "3", "4", "5", "6", "7", "8"));
    EXPECT_THAT(window_.listItems(IDC_MICROSTEP1 + offset),
                ElementsAre("0", "2", "4", "8", "16", "32", "64", "128", "256"));
    EXPECT_THAT(window_.listItems(IDC_POSITION1 + offset),
                ElementsAre("位置1", "位置2", "位置3", "位置4", "位置5", "位置6"));
  }

  EXPECT_EQ(window_.text(IDC_ADAPTER_LIST), "创芯CANalyst-II");
  EXPECT_EQ(window_.text(IDC_BAUD_LIST), "125Kbps");
  for (int offset : {0, IDC_SECOND_AXIS_OFFSET}) {
    EXPECT_EQ(window_.text(IDC_ACCEL1 + offset), "5");
    EXPECT_EQ(window_.text(IDC_MICROSTEP1 + offset), "32");
    EXPECT_EQ(window_.text(IDC_POSITION1 + offset), "位置1");
  }
}

TEST_F(InitialStateTest, EditBoxesHoldTheDefaultSpeedsAndAngles) {
  for (int offset : {0, IDC_SECOND_AXIS_OFFSET}) {
    EXPECT_EQ(window_.text(IDC_START_SPEED1 + offset), "600");
    EXPECT_EQ(window_.text(IDC_MAX_SPEED1 + offset), "4000");
    EXPECT_EQ(window_.text(IDC_FORWARD_ANGLE1 + offset), "180");
    EXPECT_EQ(window_.text(IDC_REVERSE_ANGLE1 + offset), "180");
  }
}

TEST_F(InitialStateTest, InitialisationEnablesNothingArmsNothingAndShowsNothing) {
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_FALSE(window_.isEnabled(IDC_CLOSE));
  EXPECT_TRUE(window_.isEnabled(IDC_OPEN));
  EXPECT_THAT(window_.events(), IsEmpty());
  EXPECT_THAT(channel_->posts(), IsEmpty());
}

TEST_F(InitialStateTest, AxisRecordsAreNodesOneAndTwoAndTheLibraryIsLoadedOnce) {
  EXPECT_EQ(first()->nodeId(), 1);
  EXPECT_EQ(second()->nodeId(), 2);
  EXPECT_EQ(library_.loadAttempts(), 1);
  EXPECT_EQ(printed(), "");
  EXPECT_TRUE(dlg().table().requested(0) == AxisParameters{});
}

TEST_F(InitialStateTest, CallbacksAreRegisteredAndActOnTheWindowsAxes) {
  ASSERT_TRUE(library_.hasCallbacks());
  EXPECT_EQ(channel_->starts(), 1);
  library_.fireOnline(2, kNodeOnlineState);
  EXPECT_FALSE(first()->isOnline());
  EXPECT_TRUE(second()->isOnline());
}

class WithoutLibraryTest : public MainWindowTest {
 protected:
  void SetUp() override {
    library_.setLoadable(false);
    openWindow();
  }
};

TEST_F(WithoutLibraryTest, EachRecordTriesOnceAndTheWindowOpensTheSame) {
  EXPECT_EQ(library_.loadAttempts(), 2);
  EXPECT_EQ(printed(), "load PUSICANControl.dll FAIL!\nload PUSICANControl.dll FAIL!\n");
  EXPECT_FALSE(library_.hasCallbacks());
  EXPECT_EQ(window_.text(IDC_ADAPTER_LIST), "创芯CANalyst-II");
  EXPECT_EQ(window_.text(IDC_MAX_SPEED2), "4000");
  EXPECT_THAT(window_.messages(), IsEmpty());
}

class WithoutWorkerTest : public MainWindowTest {
 protected:
  void SetUp() override { openWindow(/*workerStarts=*/false); }
};

TEST_F(WithoutWorkerTest, SaysSoOnceAndTheCommandButtonsNeverComeOn) {
  EXPECT_THAT(window_.messages(), ElementsAre(std::string(texts::kNoWorker)));
  dlg().onReply(WM_AXIS_CONFIGURE, 1);
  dlg().onReply(WM_AXIS1_HOME, 1);
  EXPECT_EQ(enabledCommandButtons(), 0);
  EXPECT_EQ(window_.messages().size(), 1u);
}

}  // namespace
}  // namespace halvane::testing
