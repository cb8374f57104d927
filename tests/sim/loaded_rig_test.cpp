#include "sim/loaded_rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/sim/sim_test_support.h"

namespace halvane::sim {
namespace {

using namespace testing;

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    EXPECT_TRUE(line.ends_with('\r')) << "every trace ends its lines with CR LF: " << line;
    if (line.ends_with('\r')) {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

std::string tempPath(const char* name) {
  const char* dir = std::getenv("TEMP");
  if (dir == nullptr) {
    dir = std::getenv("TMPDIR");
  }
  return std::string(dir == nullptr ? "/tmp" : dir) + "/" + name;
}

TEST(LoadedRig, TheTraceStartsWithTheSettingsAndEveryProblem) {
  const std::string path = tempPath("halvane-sim-loaded-rig-test.txt");
  FakePlatform platform;
  {
    const LoadedRig rig = loadRig(
        MapEnvironment({{kVarTrace, path}, {kVarTimeScale, "fast"}, {"HALVANE_SIM_TYPO", "1"}}),
        platform, RigRunner::Threading::Inline);
    rig.runner->call(makeRequest(ExportId::PCAN_ClosePort));
  }
  const auto lines = readLines(path);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].rfind("0.000 7 event loaded node=- time_scale=1 ", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1],
            "0.000 7 event config node=- variable=HALVANE_SIM_TYPO value=1 "
            "problem=\"unknown variable, ignored\"");
  EXPECT_EQ(lines[2].rfind("0.000 7 event config node=- variable=HALVANE_SIM_TIME_SCALE "
                           "value=fast problem=",
                           0),
            0u)
      << lines[2];
  EXPECT_EQ(lines[3], "0.000 7 call PCAN_ClosePort() -> 1 bus=0.000");
  std::remove(path.c_str());
}

TEST(LoadedRig, AnUnwritableTraceIsNoReasonToFail) {
  FakePlatform platform;
  const LoadedRig rig = loadRig(
      MapEnvironment(std::map<std::string, std::string>{{kVarTrace, "/no/such/folder/trace.txt"}}),
      platform, RigRunner::Threading::Inline);
  EXPECT_EQ(rig.trace, nullptr);
  EXPECT_EQ(rig.runner->call(makeRequest(ExportId::PCAN_Init, 8, 2, 1)), kOk);
}

}  // namespace
}  // namespace halvane::sim
