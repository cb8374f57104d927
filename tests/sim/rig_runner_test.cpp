#include "sim/rig_runner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <vector>

#include "sim/real_platform.h"
#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using namespace testing;

// What the callbacks saw; the threaded test waits on it with a bound.
struct CallbackLog {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> calls;
  std::vector<unsigned long> threads;
  RigRunner* reenter = nullptr;

  void add(std::string text) {
    {
      std::lock_guard lock(mutex);
      calls.push_back(std::move(text));
      threads.push_back(currentThreadIdForTest());
    }
    changed.notify_all();
  }
  bool waitFor(size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 10s, [&] { return calls.size() >= count; });
  }
  static unsigned long currentThreadIdForTest();
};

CallbackLog* log = nullptr;

int HALVANE_STDCALL onOnline(int node, int state) {
  log->add("online " + std::to_string(node) + " " + std::to_string(state));
  return 0;
}
int HALVANE_STDCALL onSpare(int) {
  return 0;
}
int HALVANE_STDCALL onStatus(int node, int kind, unsigned char* bytes, int value) {
  log->add("status " + std::to_string(node) + " " + std::to_string(kind) + " " +
           std::to_string(bytes[1]) + " " + std::to_string(value));
  if (log->reenter != nullptr) {
    int position = 0;
    log->reenter->call(makeRequest(ExportId::PCAN_GetMotorPos, node, &position));
  }
  return 0;
}

}  // namespace
}  // namespace halvane::sim

#include "sim/platform_hooks.h"

namespace halvane::sim {
namespace {

unsigned long CallbackLog::currentThreadIdForTest() {
  return currentThreadId();
}

class RigRunnerInline : public ::testing::Test {
 protected:
  RigRunnerInline() { log = &callbacks; }
  ~RigRunnerInline() override { log = nullptr; }

  RigRunner make(SimConfig config) {
    config.onlineDelay = 100ms;
    return RigRunner(config, platform, &trace, RigRunner::Threading::Inline);
  }
  void open(RigRunner& rig) {
    rig.call(makeRequest(ExportId::PCAN_SetEventCallback, &onOnline, &onSpare, &onStatus));
    rig.call(makeRequest(ExportId::PCAN_Init, 8, 2, 1));
    rig.call(makeRequest(ExportId::PCAN_OpenPort, 4));
    platform.time += 100ms;
    rig.pump();
  }

  FakePlatform platform;
  MemoryTrace trace;
  CallbackLog callbacks;
};

TEST_F(RigRunnerInline, TracesCallsWithTimeThreadArgumentsResultAndBusTime) {
  RigRunner rig = make(SimConfig{});
  platform.time = 5ms;
  EXPECT_EQ(rig.call(makeRequest(ExportId::PCAN_Init, 8, 2, 1)), kOk);
  EXPECT_EQ(rig.call(makeRequest(ExportId::PCAN_SetAccel, 1, 5)), kErrNotOpen);
  ASSERT_EQ(trace.lines.size(), 2u);
  EXPECT_EQ(trace.lines[0], "5.000 7 call PCAN_Init(8, 2, 1) -> 0 bus=0.000");
  EXPECT_EQ(trace.lines[1], "5.000 7 call PCAN_SetAccel(1, 5) -> 1 bus=0.000");
}

TEST_F(RigRunnerInline, DeliversOnlineCallbacksAfterTheDelay) {
  RigRunner rig = make(SimConfig{});
  open(rig);
  ASSERT_EQ(callbacks.calls.size(), 2u);
  EXPECT_EQ(callbacks.calls[0], "online 1 1");
  EXPECT_EQ(callbacks.calls[1], "online 2 1");
  EXPECT_EQ(trace.lines[3], "0.000 7 event bus-open node=- kbps=125");
  EXPECT_EQ(trace.lines[4], "100.000 7 event online node=1");
  EXPECT_EQ(trace.lines[5], "100.000 7 callback OnlineCallback(1, 1)");
}

TEST_F(RigRunnerInline, WritesOutValuesAndBlocksForTheBusTime) {
  RigRunner rig = make(SimConfig{});
  open(rig);
  const Duration before = platform.slept;
  int online = 0;
  EXPECT_EQ(rig.call(makeRequest(ExportId::PCAN_IsSlaveOnline, 1, &online)), kOk);
  EXPECT_EQ(online, 1);
  EXPECT_EQ(platform.slept - before, 1776us);
  EXPECT_EQ(trace.lines.back(), "100.000 7 call PCAN_IsSlaveOnline(1, &) -> 0 out=1 bus=1.776");
}

TEST_F(RigRunnerInline, AMoveReportsMovingThenRestInTheTrace) {
  RigRunner rig = make(SimConfig{});
  open(rig);
  EXPECT_EQ(rig.call(makeRequest(ExportId::PCAN_StartRelStep, 1, 20)), kOk);
  const size_t startLine = trace.lines.size() - 3;
  EXPECT_NE(trace.lines[startLine].find("call PCAN_StartRelStep(1, 20) -> 0"), std::string::npos);
  EXPECT_NE(trace.lines[startLine + 1].find("event move-start node=1 steps=20"), std::string::npos);
  EXPECT_NE(trace.lines[startLine + 2].find("callback StatusCallback(1, 0, [00 08], 0)"),
            std::string::npos);
  for (int i = 0; i < 1000 && rig.nextWake(); ++i) {
    platform.time = *rig.nextWake();
    rig.pump();
  }
  EXPECT_EQ(callbacks.calls.back(), "status 1 0 0 0");
  EXPECT_NE(trace.lines.back().find("callback StatusCallback(1, 0, [00 00], 0)"),
            std::string::npos);
  EXPECT_NE(trace.lines[trace.lines.size() - 2].find("event rest node=1 pos=20"),
            std::string::npos);
}

TEST_F(RigRunnerInline, ReportsWithoutCallbacksAreTracedAsUndelivered) {
  RigRunner rig = make(SimConfig{});
  rig.call(makeRequest(ExportId::PCAN_Init, 8, 2, 1));
  rig.call(makeRequest(ExportId::PCAN_OpenPort, 4));
  platform.time += 100ms;
  rig.pump();
  EXPECT_EQ(trace.lines.back(),
            "100.000 7 event undelivered node=2 callback=OnlineCallback reason=none-registered");
}

TEST_F(RigRunnerInline, ACallFromInsideACallbackIsAnswered) {
  RigRunner rig = make(SimConfig{});
  open(rig);
  callbacks.reenter = &rig;
  rig.call(makeRequest(ExportId::PCAN_StartRelStep, 1, 5));
  EXPECT_NE(trace.lines.back().find("call PCAN_GetMotorPos(1, &) -> 0 out=0"), std::string::npos);
}

TEST_F(RigRunnerInline, ConfigurationEventsComeFromTheLoadingThread) {
  RigRunner rig = make(SimConfig{});
  platform.thread = 3;
  rig.traceEvent("config node=- variable=X");
  EXPECT_EQ(trace.lines.back(), "0.000 3 event config node=- variable=X");
}

// The real thing: the rig's own thread answers calls and makes the callbacks.
TEST(RigRunnerThread, CallbacksComeFromTheRigsOwnThread) {
  CallbackLog callbacks;
  log = &callbacks;
  RealPlatform platform;
  MemoryTrace trace;
  SimConfig config;
  config.onlineDelay = Duration::zero();
  config.timeScale = 100;
  {
    RigRunner rig(config, platform, &trace, RigRunner::Threading::OwnThread);
    rig.call(makeRequest(ExportId::PCAN_SetEventCallback, &onOnline, &onSpare, &onStatus));
    rig.call(makeRequest(ExportId::PCAN_Init, 8, 2, 1));
    rig.call(makeRequest(ExportId::PCAN_OpenPort, 8));
    ASSERT_TRUE(callbacks.waitFor(2));
    EXPECT_EQ(rig.call(makeRequest(ExportId::PCAN_StartRelStep, 2, 100)), kOk);
    ASSERT_TRUE(callbacks.waitFor(4));  // moving, then rest
    std::lock_guard lock(callbacks.mutex);
    EXPECT_EQ(callbacks.calls[2], "status 2 0 8 0");
    EXPECT_EQ(callbacks.calls[3], "status 2 0 0 0");
    const unsigned long self = currentThreadId();
    for (unsigned long thread : callbacks.threads) {
      EXPECT_NE(thread, self);
      EXPECT_EQ(thread, callbacks.threads[0]);
    }
    const std::string caller = std::to_string(self);
    EXPECT_NE(trace.lines[0].find(caller), std::string::npos);
    EXPECT_NE(trace.lines[0].find("call PCAN_SetEventCallback"), std::string::npos);
  }
  log = nullptr;
}

}  // namespace
}  // namespace halvane::sim
