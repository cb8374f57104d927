// Every call site of every worker command, failed one at a time. The call lists are observed from a
// clean run, not written down, so a new call site is covered the day it is added; the texts come
// from one table per export, which must name every export a command calls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "motion/command_messages.h"
#include "motion/motion_worker.h"
#include "tests/support/fake_rig.h"

namespace halvane {
namespace {

using testing::FakeControllerLibrary;
using testing::FakeRig;
using testing::RecordingReplies;

const std::map<std::string, std::string> kFailureTexts = {
    {"PCAN_SetAccel", "SetAccel fail!\n"},
    {"PCAN_SetDecel", "SetDecel fail!\n"},
    {"PCAN_SetMicroStep", "SetMicroStep fail!\n"},
    {"PCAN_SetStartSpeed", "SetStartSpeed fail!\n"},
    {"PCAN_SetStopSpeed", "SetStopSpeed fail!\n"},
    {"PCAN_SetMaxSpeed", "SetMaxSpeed fail!\n"},
    {"PCAN_GetGPIOValue", "GetGPIOValue fail!"},
    {"PCAN_SetExtStopTrigger", "SetExtStopTrigger fail!\n"},
    {"PCAN_SetExtStopEnable", "SetExtStopEnable fail!"},
    {"PCAN_ClearExtStopFlag", "ClearExtStopFlag fail!\n"},
    {"PCAN_SetWorkMode", "SetWorkMode fail!\n"},
    {"PCAN_StartRelStep", "StartRelStep fail!\n"},
    {"PCAN_GetControlStatus", "GetControlStatus fail!\n"},
    {"PCAN_SetMotorPos", "SetMotorPos fail!\n"},
    {"PCAN_GetMotorPos", "GetMotorPos fail!\n"},
    {"PCAN_SetDir", "SetDir fail!\n"},
};
// Called by the window, never by a worker command.
const std::set<std::string> kWindowExports = {"PCAN_Init", "PCAN_OpenPort", "PCAN_ClosePort",
                                              "PCAN_SetEventCallback", "PCAN_IsSlaveOnline"};

struct Command {
  const char* name;
  unsigned message;
  bool offSwitch;
};
const Command kCommands[] = {
    {"configure", WM_AXIS_CONFIGURE, false},       {"home off the switch", WM_AXIS2_HOME, true},
    {"home on the switch", WM_AXIS2_HOME, false},  {"slot move", WM_AXIS2_GOTO, false},
    {"forward rotation", WM_AXIS2_FORWARD, false}, {"reverse rotation", WM_AXIS2_REVERSE, false},
};

std::string exportOf(const std::string& call) {
  return call.substr(0, call.find('('));
}

// A rig with every parameter of the second axis changed, its wheel off the slot and, when asked,
// off the switch; its motor comes to rest within the start call, found by the position standing
// still.
struct Cell {
  explicit Cell(bool offSwitch) {
    rig.configure(AxisParameters{5, 32, 600, 4000});
    rig.table.setRequested(1, AxisParameters{6, 16, 500, 3000});
    rig.table.setSlot(1, 2);
    rig.table.setForwardAngle(1, 90);
    rig.table.setReverseAngle(1, 45);
    rig.library.setOutValue("PCAN_GetMotorPos", 2, 17);
    rig.library.setOutValue("PCAN_GetControlStatus", 2, kControlStoppedBySwitch);
    if (offSwitch) {
      rig.library.setOutValue("PCAN_GetGPIOValue", 2, kInputOffHomeSwitch);
    }
    rig.library.setHandler("PCAN_StartRelStep", [this](const FakeControllerLibrary::Arguments& a) {
      rig.library.fireStatus(a.node(), kStatusKindMotion, 0x00);
      return 0;
    });
    EXPECT_TRUE(worker.start());
  }
  std::vector<std::string> run(unsigned message) {
    worker.post(message, message == WM_AXIS_CONFIGURE ? nullptr : rig.second.get());
    EXPECT_TRUE(replies.waitFor(1)) << "no reply: the buttons would never come back";
    return rig.library.calls();
  }

  FakeRig rig;
  RecordingReplies replies;
  MotionWorker worker{*rig.context, replies};
};

// A homing's wait reads the position and the stop flag for its own evidence, and a failure there
// settles nothing, so they are no call sites; the last status read is the homing's own.
bool isWaitRead(const std::vector<std::string>& calls, size_t index) {
  const std::string name = exportOf(calls[index]);
  if (name == "PCAN_GetMotorPos") {
    return true;
  }
  return name == "PCAN_GetControlStatus" &&
         std::any_of(
             calls.begin() + static_cast<long>(index) + 1, calls.end(),
             [](const std::string& call) { return exportOf(call) == "PCAN_GetControlStatus"; });
}

std::vector<std::string> callSites(const std::vector<std::string>& calls, unsigned message) {
  std::vector<std::string> sites;
  for (size_t i = 0; i < calls.size(); ++i) {
    if (message != WM_AXIS2_HOME || !isWaitRead(calls, i)) {
      sites.push_back(calls[i]);
    }
  }
  return sites;
}

TEST(FaultMatrix, EveryCallSiteShowsItsTextMakesNoLaterCallAndReplies) {
  std::set<std::string> exercised;
  for (const Command& command : kCommands) {
    const std::vector<std::string> clean = Cell(command.offSwitch).run(command.message);
    ASSERT_FALSE(clean.empty()) << command.name;
    std::map<std::string, int> seen;
    for (size_t site = 0; site < clean.size(); ++site) {
      const std::string exportName = exportOf(clean[site]);
      const int occurrence = ++seen[exportName];
      if (command.message == WM_AXIS2_HOME && isWaitRead(clean, site)) {
        continue;
      }
      exercised.insert(exportName);
      ASSERT_EQ(kFailureTexts.count(exportName), 1u) << "no failure text for " << exportName;

      Cell cell(command.offSwitch);
      cell.rig.library.failOccurrence(exportName, occurrence);
      const std::vector<std::string> calls = callSites(cell.run(command.message), command.message);
      const std::vector<std::string> expected =
          callSites({clean.begin(), clean.begin() + static_cast<long>(site) + 1}, command.message);
      EXPECT_EQ(calls, expected) << command.name << ", failing " << clean[site];
      EXPECT_THAT(cell.rig.alerts.texts(), ::testing::ElementsAre(kFailureTexts.at(exportName)))
          << command.name << ", failing " << clean[site];
      EXPECT_EQ(cell.replies.replies().front().first, command.message);
    }
  }
  // Every export of the table is either reached by a command here or belongs to the window.
  for (const char* name : kControllerExportNames) {
    EXPECT_TRUE(exercised.count(name) != 0 || kWindowExports.count(name) != 0)
        << name << " is called by no command and no window handler";
  }
}

}  // namespace
}  // namespace halvane
