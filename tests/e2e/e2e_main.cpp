// The end-to-end driver's main: no crash dialog may ever wait for a person, the driver's failures
// are the current case's, each case's run folder is named after it, and a failing test leaves a
// picture of the display next to its run folder.
#include <windows.h>

#include <gtest/gtest.h>

#include "driver/driver_report.h"
#include "driver/program_session.h"
#include "driver/window_probe.h"

namespace {

std::string currentCase() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                         : std::string();
}

class ScreenshotOnFailure final : public ::testing::EmptyTestEventListener {
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    // Without a desktop, taking the picture would start one under this driver.
    if (result.failed() && !taken_ && halvane::e2e::desktopIsUp()) {
      taken_ = true;
      const std::wstring name = halvane::widen(currentCase());
      halvane::e2e::saveScreenshot(halvane::e2e::runsFolder() + L"\\" + name + L".failure.bmp");
    }
  }
  void OnTestStart(const ::testing::TestInfo&) override { taken_ = false; }
  bool taken_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  ::testing::InitGoogleTest(&argc, argv);
  halvane::e2e::setDriverReport(
      {[](const std::string& failure) { ADD_FAILURE() << failure; }, currentCase});
  ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
  halvane::e2e::endDriver(RUN_ALL_TESTS());
}
