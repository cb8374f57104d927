// One soak run: the real program on the simulated rig with injected faults, driven by random
// operator actions, every reply, move and resource figure checked on the way.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "driver/program_session.h"
#include "tests/soak/move_allowance.h"
#include "tests/soak/trace_follower.h"
#include "tests/soak/typed_values.h"

namespace halvane::soak {

struct CommandButton;

struct SoakSettings {
  int actions = 300;
  uint32_t seed = 1;
  // Fast enough that a homing at microstep 256 takes about a second, slow enough that one can
  // still be interrupted.
  double timeScale = 100;
};

struct SoakFigures {
  int actionsDone = 0;
  std::vector<std::string> failures;
  std::optional<uint32_t> handlesAfterWarmUp, handlesAtEnd;
  std::optional<uint64_t> privateAfterWarmUp, privateAtEnd;
  double longestReplyMs = 0;
  std::string longestReplyOf;
  int messagesDismissed = 0;
  int clicksWhileDisabled = 0;
  int homingsInterrupted = 0;
  std::wstring failuresInjected, restsLost, staleRests;
  int statusPeriodMs = 0, positionLagMs = 0, positionAtRestNode = 0, reportDelayMs = 0;
  int positionRefreshMs = 0, positionWaverNode = 0;
};

class SoakRun {
 public:
  explicit SoakRun(const SoakSettings& settings);
  ~SoakRun();
  SoakRun(const SoakRun&) = delete;
  SoakRun& operator=(const SoakRun&) = delete;
  SoakFigures run();

 private:
  struct Await {
    bool reached = false;
    double programMs = 0;  // wall time less the time message boxes were open (the operator's)
    std::vector<std::wstring> boxes;
  };
  template <typename Done>
  Await awaitState(Done done, double boundMs);

  void runAction();
  void typeValue();
  void pickListRow();
  void typeSensibleSpeeds();
  void clickCommand(const CommandButton& button);
  void homeWithClicksWhileDisabled(const CommandButton& button);
  void homeAndReopenMidway(const CommandButton& button);
  // Close (if open) and Open until the bus is up, then the online check and the configuration.
  void reopen(bool homingRunning, double homingBoundMs);
  // Disables the command buttons if no call starting with `prefix` has come since `fromCall`;
  // true when none had come by the time they were disabled, so a reply after it will show.
  bool takeCommandButtonsBefore(size_t fromCall, const std::string& prefix);
  // Waits until the library has not been called for `quietMs` and the buttons are enabled.
  void awaitQuiet(double quietMs);

  // Waits for the command clicked when the trace held `fromCall` calls to give the buttons back.
  Await awaitReply(size_t fromCall, double boundMs, const std::string& what);
  void noteReply(const Await& reply, const std::string& what);
  void checkMovesSince(size_t fromCall, const std::vector<MoveAllowance>& allowances);
  void checkNoCallsSinceLastAction();
  bool homingMoveRunning(int node, size_t fromEntry) const;
  // A slot move or rotation must not run at the homing's speed the operator never asked for.
  void checkNoHomingSpeed(int node, size_t fromEntry);

  MoveAllowance allowanceFor(const CommandButton& button);
  int64_t shownMicrostep(int node) const;
  int64_t shownMeaning(int boxId);
  double homingBoundMs(int node) const;

  // Calls in the trace, and where in the trace entries each is.
  size_t callCount() const { return callEntries_.size(); }
  const e2e::TraceEntry& call(size_t index) const;
  const e2e::TraceEntry* findCallSince(size_t fromCall, const std::string& prefix) const;
  size_t countCallsSince(size_t fromCall, const std::string& prefix) const;
  void pollTrace();
  // A homing may zero its wheel and disarm the stop only once its move has come to rest.
  void checkHomingEnd(const e2e::TraceEntry& entry);

  void fail(const std::string& what);
  std::string buttonStates();
  // One line per action in the run folder, with its calls, to find it in the trace.
  void logAction();
  bool alive();
  e2e::WindowProbe& window() { return session_->window(); }
  int uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  SoakSettings settings_;
  std::mt19937 random_;
  SoakFigures figures_;
  std::unique_ptr<e2e::ProgramSession> session_;
  std::unique_ptr<TraceFollower> trace_;
  std::vector<size_t> callEntries_;
  size_t entriesIndexed_ = 0;
  std::array<bool, 2> homingMoveTurning_{};  // by node
  size_t settledCalls_ = 0;                  // calls accounted for by the actions so far
  std::map<int, TypedValue> typed_;
  bool configured_ = false;
  int failedConfigurations_ = 0;  // in a row
  bool replyUnseen_ = false;      // a configuration's reply may still be on its way
  bool stopped_ = false;          // the program died or hung: nothing more to drive
  std::string action_;            // what the action under way is, for failure lines
  int actionIndex_ = 0;
  FILE* actionLog_ = nullptr;
};

}  // namespace halvane::soak
