// The window with the program's own command channel: the real motion worker over the fake library.
// Replies are collected and handed to the window on the test thread, as the window thread would
// take them.
#pragma once

#include <memory>

#include "tests/support/recorders.h"
#include "tests/ui/main_window_fixture.h"
#include "ui/worker_channel.h"

namespace halvane::testing {

class WorkerWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    dlg_ = std::make_unique<CHalvaneDlg>(link_);
    worker_ = std::make_unique<WorkerChannel>(
        MotionContext{link_, dlg().table(), alerts_, dlg().axes()}, replies_);
    dlg().onInitDialog(window_, *worker_);
    nodesAnswer(true, true);
  }
  void TearDown() override { worker_.reset(); }  // joins before the table goes

  // Waits for the next reply and lets the window handle it.
  RecordingReplies::Reply deliverReply() {
    const size_t next = delivered_ + 1;
    EXPECT_TRUE(replies_.waitFor(next));
    const RecordingReplies::Reply reply = replies_.replies().at(delivered_);
    delivered_ = next;
    dlg().onReply(reply.first, reply.second);
    return reply;
  }

  RecordingAlerts alerts_;
  RecordingReplies replies_;
  std::unique_ptr<WorkerChannel> worker_;
  size_t delivered_ = 0;
};

}  // namespace halvane::testing
