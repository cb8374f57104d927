// The built PUSICANControl.dll itself, loaded as the program loads it, under Wine: every export of
// the table is there by its plain name, and a homing runs through the exports and the callbacks.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "common/controller_exports.h"

namespace halvane {
namespace {

using namespace std::chrono_literals;

struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> seen;
  std::vector<DWORD> threads;

  void add(std::string text) {
    {
      std::lock_guard lock(mutex);
      seen.push_back(std::move(text));
      threads.push_back(GetCurrentThreadId());
    }
    changed.notify_all();
  }
  bool waitFor(const std::string& text) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 20s, [&] {
      for (const std::string& s : seen) {
        if (s == text) {
          return true;
        }
      }
      return false;
    });
  }
};

Reports reports;

int HALVANE_STDCALL onOnline(int node, int state) {
  reports.add("online " + std::to_string(node) + " " + std::to_string(state));
  return 0;
}
int HALVANE_STDCALL onSpare(int) {
  return 0;
}
int HALVANE_STDCALL onStatus(int node, int kind, unsigned char* bytes, int) {
  reports.add("status " + std::to_string(node) + " " + std::to_string(kind) + " " +
              std::to_string(bytes[0]) + " " + std::to_string(bytes[1]));
  return 0;
}

std::string tracePath() {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "halvane-sim-library-test-" + std::to_string(GetCurrentProcessId()) +
         ".txt";
}

std::vector<std::string> traceLines() {
  std::ifstream file(tracePath());
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    lines.push_back(line);
  }
  return lines;
}

bool traceHas(const std::string& part) {
  for (const std::string& line : traceLines()) {
    if (line.find(part) != std::string::npos) {
      return true;
    }
  }
  return false;
}

class SimulatedLibrary : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetEnvironmentVariableA("HALVANE_SIM_TRACE", tracePath().c_str());
    SetEnvironmentVariableA("HALVANE_SIM_TIME_SCALE", "20");
    SetEnvironmentVariableA("HALVANE_SIM_ONLINE_DELAY_MS", "0");
    SetEnvironmentVariableA("HALVANE_SIM_VIEW", "0");  // no window in this test
    SetEnvironmentVariableA("HALVANE_SIM_FAIL", "PCAN_SetDecel:2@1");
    SetEnvironmentVariableA("HALVANE_SIM_BOGUS", "1");
    library = LoadLibraryA(kControllerLibraryName);
  }

  template <class Fn>
  static Fn find(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  }

  static HMODULE library;
};

HMODULE SimulatedLibrary::library = nullptr;

TEST_F(SimulatedLibrary, ExportsEveryNameOfTheTableUndecorated) {
  ASSERT_NE(library, nullptr);
  for (const char* name : kControllerExportNames) {
    EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
  }
  EXPECT_EQ(GetProcAddress(library, "PCAN_Init@12"), nullptr);
}

TEST_F(SimulatedLibrary, HomesANodeThroughTheExportsAndCallbacks) {
  ASSERT_NE(library, nullptr);
  const auto setEventCallback = find<PCAN_SetEventCallback_fn>("PCAN_SetEventCallback");
  const auto init = find<PCAN_Init_fn>("PCAN_Init");
  const auto openPort = find<PCAN_OpenPort_fn>("PCAN_OpenPort");
  const auto closePort = find<PCAN_ClosePort_fn>("PCAN_ClosePort");
  const auto isSlaveOnline = find<PCAN_IsSlaveOnline_fn>("PCAN_IsSlaveOnline");
  const auto setDecel = find<PCAN_SetDecel_fn>("PCAN_SetDecel");
  const auto setAccel = find<PCAN_SetAccel_fn>("PCAN_SetAccel");
  const auto setMicroStep = find<PCAN_SetMicroStep_fn>("PCAN_SetMicroStep");
  const auto getGpio = find<PCAN_GetGPIOValue_fn>("PCAN_GetGPIOValue");
  const auto setExtStopEnable = find<PCAN_SetExtStopEnable_fn>("PCAN_SetExtStopEnable");
  const auto clearExtStopFlag = find<PCAN_ClearExtStopFlag_fn>("PCAN_ClearExtStopFlag");
  const auto setMaxSpeed = find<PCAN_SetMaxSpeed_fn>("PCAN_SetMaxSpeed");
  const auto startRelStep = find<PCAN_StartRelStep_fn>("PCAN_StartRelStep");
  const auto getControlStatus = find<PCAN_GetControlStatus_fn>("PCAN_GetControlStatus");

  EXPECT_EQ(setEventCallback(&onOnline, &onSpare, &onStatus), 0);
  EXPECT_EQ(init(8, 2, 1), 0);
  EXPECT_EQ(openPort(4), 0);
  ASSERT_TRUE(reports.waitFor("online 1 1"));
  ASSERT_TRUE(reports.waitFor("online 2 1"));
  int online = 0;
  EXPECT_EQ(isSlaveOnline(1, &online), 0);
  EXPECT_EQ(online, 1);
  EXPECT_NE(setDecel(2, 5), 0);  // the first SetDecel of node 2 fails, as configured
  EXPECT_EQ(setDecel(2, 5), 0);

  // 20 calls at 125 kbit/s: two 111-bit frames each, 1.776 ms.
  const auto before = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    setAccel(1, 5);
  }
  const auto took = std::chrono::steady_clock::now() - before;
  EXPECT_GE(took, 20 * 1776us);
  EXPECT_LT(took, 20 * 1776us + 2s);

  EXPECT_EQ(setMicroStep(1, 2), 0);
  int inputs = 0;
  EXPECT_EQ(getGpio(1, &inputs), 0);
  EXPECT_EQ(inputs, kInputOffHomeSwitch);
  EXPECT_EQ(setExtStopEnable(1, 1), 0);
  EXPECT_EQ(clearExtStopFlag(1, 1), 0);
  EXPECT_EQ(setMaxSpeed(1, -800), 0);
  EXPECT_EQ(startRelStep(1, 600), 0);
  ASSERT_TRUE(reports.waitFor("status 1 0 0 8"));
  ASSERT_TRUE(reports.waitFor("status 1 0 1 0"));  // at rest, stopped by the switch
  int status = 0;
  EXPECT_EQ(getControlStatus(1, &status), 0);
  EXPECT_EQ(status, kControlStoppedBySwitch);
  EXPECT_EQ(getGpio(1, &inputs), 0);
  EXPECT_EQ(inputs, 0);
  closePort();
  ASSERT_TRUE(reports.waitFor("online 1 0"));

  {
    std::lock_guard lock(reports.mutex);
    for (DWORD thread : reports.threads) {
      EXPECT_NE(thread, GetCurrentThreadId());
    }
  }
  std::string self = " ";  // appended, not "literal" + string: GCC 12 warns falsely on that
  self += std::to_string(GetCurrentThreadId());
  self += ' ';
  const auto lines = traceLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find(" event loaded node=- time_scale=20 online_delay_ms=0"),
            std::string::npos);
  EXPECT_TRUE(traceHas("event config node=- variable=HALVANE_SIM_BOGUS"));
  EXPECT_TRUE(traceHas(self + "call PCAN_Init(8, 2, 1) -> 0 bus=0.000"));
  EXPECT_TRUE(traceHas(self + "call PCAN_SetDecel(2, 5) -> 9 bus=1.776"));
  EXPECT_TRUE(traceHas(self + "call PCAN_GetControlStatus(1, &) -> 0 out=1 bus=1.776"));
  EXPECT_TRUE(traceHas("event rest node=1"));
  EXPECT_TRUE(traceHas("callback StatusCallback(1, 0, [01 00], 0)"));
  EXPECT_FALSE(traceHas(self + "callback"));
}

}  // namespace
}  // namespace halvane
