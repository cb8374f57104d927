// The main window's handlers over a fake window, the fake vendor library and a recording channel.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "controller/controller_link.h"
#include "motion/command_messages.h"
#include "tests/support/fake_controller_library.h"
#include "tests/ui/fake_dialog_controls.h"
#include "tests/ui/recording_channel.h"
#include "ui/halvane_dlg.h"

namespace halvane::testing {

// What the template creates disabled: Close, the two resets and the six sends.
inline std::set<int> templateDisabled() {
  std::set<int> ids(kCommandButtons.begin(), kCommandButtons.end());
  ids.insert(IDC_CLOSE);
  return ids;
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() : output_(std::tmpfile()), link_(library_, output_) {}
  ~MainWindowTest() override { std::fclose(output_); }

  void SetUp() override { openWindow(); }

  // Constructs the window object and runs its initialisation; the library is scripted before.
  void openWindow(bool workerStarts = true) {
    channel_ = std::make_unique<RecordingChannel>(workerStarts);
    dlg_ = std::make_unique<CHalvaneDlg>(link_);
    dlg_->onInitDialog(window_, *channel_);
  }

  CHalvaneDlg& dlg() { return *dlg_; }
  CMotorAxis* first() { return dlg_->axes().first; }
  CMotorAxis* second() { return dlg_->axes().second; }

  // Both nodes report themselves online and answer the library's query.
  void nodesAnswer(bool first, bool second) {
    if (first) {
      library_.fireOnline(1, kNodeOnlineState);
      library_.setOutValue("PCAN_IsSlaveOnline", 1, 1);
    }
    if (second) {
      library_.fireOnline(2, kNodeOnlineState);
      library_.setOutValue("PCAN_IsSlaveOnline", 2, 1);
    }
  }
  // Open, the online check and the configuration reply: the eight buttons are enabled.
  void bringUp() {
    nodesAnswer(true, true);
    dlg().onOpen();
    dlg().onTimer(TIMER_ONLINE_CHECK);
    dlg().onReply(WM_AXIS_CONFIGURE, 1);
    window_.clearEvents();
    library_.clearCalls();
  }
  int enabledCommandButtons() const {
    int count = 0;
    for (int id : kCommandButtons) {
      count += window_.isEnabled(id) ? 1 : 0;
    }
    return count;
  }
  std::string printed() {
    std::fflush(output_);
    std::rewind(output_);
    std::string text;
    for (int c; (c = std::fgetc(output_)) != EOF;) {
      text += static_cast<char>(c);
    }
    return text;
  }

  FakeControllerLibrary library_;
  std::FILE* output_;
  ControllerLink link_;
  FakeDialogControls window_{templateDisabled()};
  std::unique_ptr<RecordingChannel> channel_;
  std::unique_ptr<CHalvaneDlg> dlg_;
};

}  // namespace halvane::testing
