// halvane_soak ACTIONS [SEED]: drives the real program with random operator actions on the
// simulated rig with injected faults, prints one line per failure and a summary, and exits
// non-zero on any failure.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/program_session.h"
#include "tests/soak/soak_run.h"

namespace {

using halvane::soak::SoakFigures;

// Allowed growth from after the warm-up to the end: what Wine's own caches take on a long run,
// far below one handle or a few hundred bytes per action.
constexpr uint32_t kHandleGrowthAllowed = 16;
constexpr uint64_t kPrivateGrowthAllowed = 2u << 20;

std::string mebibytes(const std::optional<uint64_t>& bytes) {
  if (!bytes) {
    return "?";
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f MiB", static_cast<double>(*bytes) / (1 << 20));
  return text;
}

std::string count(const std::optional<uint32_t>& value) {
  return value ? std::to_string(*value) : "?";
}

// The resource figures must be there and flat; each way they are not is a failure.
void checkResources(SoakFigures& figures) {
  if (!figures.handlesAfterWarmUp || !figures.handlesAtEnd) {
    figures.failures.emplace_back("soak: the program's handle count could not be read");
  } else if (*figures.handlesAtEnd > *figures.handlesAfterWarmUp + kHandleGrowthAllowed) {
    figures.failures.emplace_back("soak: handles grew from " + count(figures.handlesAfterWarmUp) +
                                  " to " + count(figures.handlesAtEnd));
  }
  if (!figures.privateAfterWarmUp || !figures.privateAtEnd) {
    figures.failures.emplace_back("soak: the program's private memory could not be read");
  } else if (*figures.privateAtEnd > *figures.privateAfterWarmUp + kPrivateGrowthAllowed) {
    figures.failures.emplace_back("soak: private memory grew from " +
                                  mebibytes(figures.privateAfterWarmUp) + " to " +
                                  mebibytes(figures.privateAtEnd));
  }
}

}  // namespace

int main(int argc, char** argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (argc < 2 || std::atoi(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: halvane_soak ACTIONS [SEED]\n");
    return 2;
  }
  halvane::soak::SoakSettings settings;
  settings.actions = std::atoi(argv[1]);
  settings.seed = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1;

  const DWORD started = GetTickCount();
  halvane::soak::SoakRun run(settings);
  SoakFigures figures = run.run();
  const size_t failuresSeen = figures.failures.size();
  if (figures.actionsDone == settings.actions) {
    checkResources(figures);
  }
  for (size_t i = failuresSeen; i < figures.failures.size(); ++i) {
    std::printf("%s\n", figures.failures[i].c_str());
  }
  std::printf(
      "soak: seed %u; injected failures %s; lost rest reports %s; stale rest reports %s; status "
      "every %d ms; position read %d ms behind, refreshed every %d ms, node %d's only at rest, "
      "node %d's wavering (0: none); reports %d ms late\n",
      settings.seed, halvane::narrow(figures.failuresInjected).c_str(),
      halvane::narrow(figures.restsLost).c_str(), halvane::narrow(figures.staleRests).c_str(),
      figures.statusPeriodMs, figures.positionLagMs, figures.positionRefreshMs,
      figures.positionAtRestNode, figures.positionWaverNode, figures.reportDelayMs);
  std::printf(
      "soak: %d message boxes dismissed, %d clicks while disabled, %d homings interrupted "
      "by Close and Open, %.0f s in all\n",
      figures.messagesDismissed, figures.clicksWhileDisabled, figures.homingsInterrupted,
      (GetTickCount() - started) / 1000.0);
  std::printf(
      "soak: %d actions, %zu failures, handles %s -> %s, private %s -> %s, longest reply "
      "%.1f s (%s)\n",
      figures.actionsDone, figures.failures.size(), count(figures.handlesAfterWarmUp).c_str(),
      count(figures.handlesAtEnd).c_str(), mebibytes(figures.privateAfterWarmUp).c_str(),
      mebibytes(figures.privateAtEnd).c_str(), figures.longestReplyMs / 1000,
      figures.longestReplyOf.empty() ? "-" : figures.longestReplyOf.c_str());
  halvane::e2e::endDriver(figures.failures.empty() && figures.actionsDone == settings.actions ? 0
                                                                                              : 1);
}
