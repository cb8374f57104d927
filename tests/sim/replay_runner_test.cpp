// The replaying library on its own thread, on the real clock: answers, callbacks from its thread at
// their delay, divergences and the end line in its trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "sim/loaded_rig.h"
#include "sim/real_platform.h"
#include "sim/replay_runner.h"
#include "tests/sim/sim_test_support.h"
#include "trace/trace_reader.h"

namespace halvane::sim {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kRecording[] =
    "1.000 2 call PCAN_SetEventCallback(&, null, null) -> 0 took=0.010\n"
    "2.000 2 call PCAN_OpenPort(4) -> 0 took=0.010\n"
    "52.000 3 callback OnlineCallback(2, 1) -> 0 took=0.001\n"
    "60.000 4 call PCAN_GetControlStatus(2, &) -> 0 out=1 took=2.000\n";

struct Reports {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::pair<int, std::thread::id>> online;
};
Reports* reports = nullptr;

int HALVANE_STDCALL onOnline(int node, int state) {
  std::lock_guard lock(reports->mutex);
  reports->online.push_back({node * 10 + state, std::this_thread::get_id()});
  reports->changed.notify_all();
  return 0;
}

// The recording to replay is named by a UTF-8 setting; a folder named in Chinese opens whatever
// the system's code page.
TEST(ReplayRunner, LoadsARecordingFromAFolderInAnyLanguage) {
  const std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / std::filesystem::path(u8"回放记录");
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / std::filesystem::path(u8"归位.trace");
  std::ofstream(file, std::ios::binary) << kRecording;
  const std::u8string utf8 = file.u8string();
  RealPlatform platform;
  testing::MemoryTrace trace;

  loadReplay(std::string(utf8.begin(), utf8.end()), platform, &trace)->finish();
  EXPECT_THAT(trace.lines, Contains(HasSubstr(" records=4")));
  EXPECT_THAT(trace.lines, Not(Contains(HasSubstr("problem="))));
}

TEST(ReplayRunner, AnswersFromTheRecordingAndReportsOnItsOwnThread) {
  Reports seen;
  reports = &seen;
  RealPlatform platform;
  testing::MemoryTrace trace;
  {
    ReplayRunner runner(ReplayScript(trace::readTrace(kRecording).records), platform, &trace);
    EXPECT_EQ(runner.call(makeRequest(ExportId::PCAN_SetEventCallback, &onOnline,
                                      SpareCallbackFn{nullptr}, StatusCallbackFn{nullptr})),
              0);
    const auto opened = std::chrono::steady_clock::now();
    EXPECT_EQ(runner.call(makeRequest(ExportId::PCAN_OpenPort, 4)), 0);
    {
      std::unique_lock lock(seen.mutex);
      ASSERT_TRUE(seen.changed.wait_for(lock, std::chrono::seconds(5),
                                        [&] { return !seen.online.empty(); }));
      EXPECT_EQ(seen.online[0].first, 21);
      EXPECT_NE(seen.online[0].second, std::this_thread::get_id());
    }
    EXPECT_GE(std::chrono::steady_clock::now() - opened, std::chrono::milliseconds(50));

    int out = 0;
    EXPECT_EQ(runner.call(makeRequest(ExportId::PCAN_GetControlStatus, 1, &out)), kErrDiverged);
    EXPECT_EQ(out, 0) << "a divergence writes no out-value";
    EXPECT_EQ(runner.call(makeRequest(ExportId::PCAN_GetControlStatus, 2, &out)), 0);
    EXPECT_EQ(out, 1);
    runner.finish();
  }
  reports = nullptr;
  EXPECT_THAT(trace.lines, Contains(HasSubstr("callback OnlineCallback(2, 1)")));
  EXPECT_THAT(trace.lines, Contains(HasSubstr("call PCAN_GetControlStatus(1, &) -> 9")));
  EXPECT_THAT(trace.lines,
              Contains(HasSubstr("event divergence node=1 call=\"PCAN_GetControlStatus(1, &)\" "
                                 "nearest=\"PCAN_GetControlStatus(2, &) at 60.000 ms differs in "
                                 "argument 1 (node)")));
  EXPECT_THAT(
      trace.lines.back(),
      HasSubstr("event replay-end node=- diverged=1 unplayed_calls=0 unplayed_callbacks=0"));
}

}  // namespace
}  // namespace halvane::sim
