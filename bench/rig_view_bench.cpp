// What the simulated rig's window costs: the program's process CPU over 10 s with the view open
// and nothing moving, and with both wheels turning (with and without the view), and the frames the
// view paints a second while they turn, at the real pace and a hundred times faster. Prints a
// table of figures beside their goals and never fails.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_measure.h"
#include "driver/operator_steps.h"
#include "driver/rig_view_probe.h"

namespace halvane::bench {
namespace {

using e2e::ProgramSession;

constexpr DWORD kIntervalMs = 10000;
constexpr DWORD kFastIntervalMs = 5000;
constexpr DWORD kSettleMs = 1000;
// Long enough that both wheels still turn when the interval ends, at either pace.
constexpr wchar_t kLongTurnDegrees[] = L"360000";

std::vector<std::string> table;

void row(const std::string& figure, const std::string& value, const std::string& goal,
         const std::string& verdict) {
  table.push_back("| " + figure + " | " + value + " | " + goal + " | " + verdict + " |");
  std::printf("%s\n", table.back().c_str());
  std::fflush(stdout);
}

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

struct Session {
  std::string name;
  std::unique_ptr<ProgramSession> program;
  HWND view = nullptr;

  bool start(bool withView, const wchar_t* timeScale) {
    e2e::SessionOptions options;
    options.folderName = halvane::widen(name);
    options.simulatorSettings = {{L"HALVANE_SIM_VIEW", withView ? L"1" : L"0"},
                                 {L"HALVANE_SIM_TIME_SCALE", timeScale}};
    program = std::make_unique<ProgramSession>(options);
    if (!program->started() || !e2e::openAndConfigure(*program)) {
      return false;
    }
    if (withView) {
      e2e::waitUntil([&] { return (view = e2e::findRigView(program->processId())) != nullptr; });
    }
    return !withView || view != nullptr;
  }
  LRESULT frames() const {
    return view != nullptr ? SendMessageW(view, simview::kQueryFramesPainted, 0, 0) : 0;
  }
  void turnBoth() {
    auto& window = program->window();
    window.setText(IDC_FORWARD_ANGLE1, kLongTurnDegrees);
    window.setText(IDC_FORWARD_ANGLE2, kLongTurnDegrees);
    window.click(IDC_SEND_FORWARD1);
    program->waitForCalls("PCAN_StartRelStep(1, ", 1);
    window.click(IDC_SEND_FORWARD2);
    program->waitForCalls("PCAN_StartRelStep(2, ", 1);
  }
  // CPU seconds and frames painted over `ms` of the program's life.
  std::optional<std::pair<double, double>> measure(DWORD ms) {
    const auto cpuBefore = hostCpuSeconds(name);
    const LRESULT framesBefore = frames();
    Sleep(ms);  // the interval measured, not a wait for anything
    const auto cpuAfter = hostCpuSeconds(name);
    if (!cpuBefore || !cpuAfter) {
      return std::nullopt;
    }
    return std::pair{*cpuAfter - *cpuBefore, static_cast<double>(frames() - framesBefore)};
  }
};

void idle() {
  Session session{"bench-view-idle", nullptr, nullptr};
  const std::string figure = "view open, nothing moving: CPU over 10 s, s (host ticks of 0.01 s)";
  if (!session.start(true, L"1")) {
    row(figure, "-", "<= 0.01", "could not measure");
    return;
  }
  Sleep(kSettleMs);
  const auto used = session.measure(kIntervalMs);
  if (!used) {
    row(figure, "-", "<= 0.01", "no host process table");
    return;
  }
  row(figure, fixed(used->first, 2), "<= 0.01", used->first <= 0.01 ? "met" : "missed");
  row("view open, nothing moving: frames painted over 10 s", fixed(used->second, 0), "0",
      used->second == 0 ? "met" : "missed");
}

void turning(bool withView, const wchar_t* timeScale, DWORD ms) {
  const std::string scale = halvane::narrow(timeScale);
  Session session{std::string("bench-view-turning-") + (withView ? "on-" : "off-") + scale, nullptr,
                  nullptr};
  const std::string what = std::string("both wheels turning, time scale ") + scale +
                           (withView ? ", view open" : ", no view");
  if (!session.start(withView, timeScale)) {
    row(what, "-", "-", "could not measure");
    return;
  }
  session.turnBoth();
  Sleep(kSettleMs);
  const auto used = session.measure(ms);
  if (!used) {
    row(what, "-", "-", "no host process table");
    return;
  }
  const double seconds = ms / 1000.0;
  const double percent = 100.0 * used->first / seconds;
  row(what + ": CPU, % of one core", fixed(percent, 1), withView ? "<= 5" : "-",
      withView ? (percent <= 5 ? "met" : "missed") : "-");
  if (withView) {
    const double fps = used->second / seconds;
    row(what + ": frames a second", fixed(fps, 1), ">= 30", fps >= 30 ? "met" : "missed");
  }
}

}  // namespace
}  // namespace halvane::bench

int main(int argc, char** argv) {
  using namespace halvane::bench;
  const std::string out = startBench(argc, argv).out;
  std::printf("| Figure | Value | Goal | Verdict |\n|---|---|---|---|\n");
  idle();
  turning(true, L"1", kIntervalMs);
  turning(false, L"1", kIntervalMs);
  turning(true, L"100", kFastIntervalMs);
  if (!out.empty()) {
    std::ofstream file(out, std::ios::binary);
    file << "| Figure | Value | Goal | Verdict |\n|---|---|---|---|\n";
    for (const std::string& line : table) {
      file << line << "\n";
    }
  }
  return 0;
}
