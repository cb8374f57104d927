#include "tests/soak/soak_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "driver/operator_steps.h"
#include "tests/soak/fault_plan.h"
#include "tests/soak/process_figures.h"
#include "ui/resource_ids.h"

namespace halvane::soak {

using Clock = std::chrono::steady_clock;

namespace {

// The program's own work for one command, beyond the wheel's travel; generous for a loaded
// machine, far below what an operator would call hung.
constexpr double kReplyBoundMs = 5000;
// From Open to the online check: its three seconds and a margin.
constexpr double kCheckBoundMs = 6000;
// The homing's rest confirmation without a rest report: the switch's stop found at the first read
// that shows no motion, or the position still for a second after a lag of up to 0.4 s.
constexpr double kRestConfirmMs = 4500;
constexpr int kHomingSpeed = 800;  // steps per second
constexpr int kWarmUpActions = 30;
constexpr DWORD kDisabledClickTimeoutMs = 1000;
// Calls stopped for this long, buttons enabled: whatever ran unasked has ended (a homing polls
// every quarter second).
constexpr double kQuietMs = 600;
constexpr double kQuietBoundMs = 60000;
constexpr double kQueuedStartMs = 200;

const std::wstring kOfflineLead = L"\x8282\x70B9";  // "节点"
// What a failed configuration shows, and nothing else after the online check does.
const std::wstring kConfigurationFailures[] = {L"SetAccel fail!\n", L"SetDecel fail!\n",
                                               L"SetMicroStep fail!\n", L"SetStartSpeed fail!\n",
                                               L"SetStopSpeed fail!\n"};
const std::wstring kGuardTexts[] = {
    L"\x4FEE\x6539\x7EC6\x5206\x540E\x8F6C\x76D8\x9700\x8981"
    L"\x91CD\x65B0\x590D\x4F4D\xFF01",  // microstep changed
    L"\x8F6C\x52A8\x89D2\x5EA6\x4E0D\x80FD\x4E3A\x8D1F\xFF01"};

bool contains(const std::vector<std::wstring>& texts, const std::wstring& wanted) {
  return std::find(texts.begin(), texts.end(), wanted) != texts.end();
}

bool anyStartsWith(const std::vector<std::wstring>& texts, const std::wstring& prefix) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::wstring& text) { return text.rfind(prefix, 0) == 0; });
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string printable(const std::wstring& text) {
  std::string out = halvane::narrow(text);
  for (char& c : out) {
    c = c == '\n' ? ' ' : c;
  }
  return out;
}

int nodeOf(const std::string& call) {
  const size_t open = call.find('(');
  return open == std::string::npos ? 0 : std::atoi(call.c_str() + open + 1);
}

}  // namespace

enum class Kind { Slot, Forward, Reverse, Homing };

struct CommandButton {
  int id;
  int node;
  Kind kind;
  int angleBox;
  const char* name;
};

namespace {

const std::vector<CommandButton> kCommandButtons = {
    {IDC_SEND_POSITION1, 1, Kind::Slot, 0, "slot move 1"},
    {IDC_SEND_FORWARD1, 1, Kind::Forward, IDC_FORWARD_ANGLE1, "forward 1"},
    {IDC_SEND_REVERSE1, 1, Kind::Reverse, IDC_REVERSE_ANGLE1, "reverse 1"},
    {IDC_SEND_POSITION2, 2, Kind::Slot, 0, "slot move 2"},
    {IDC_SEND_FORWARD2, 2, Kind::Forward, IDC_FORWARD_ANGLE2, "forward 2"},
    {IDC_SEND_REVERSE2, 2, Kind::Reverse, IDC_REVERSE_ANGLE2, "reverse 2"},
    {IDC_RESET1, 1, Kind::Homing, 0, "homing 1"},
    {IDC_RESET2, 2, Kind::Homing, 0, "homing 2"}};

}  // namespace

SoakRun::SoakRun(const SoakSettings& settings) : settings_(settings), random_(settings.seed) {}

SoakRun::~SoakRun() {
  if (actionLog_ != nullptr) {
    std::fclose(actionLog_);
  }
}

SoakFigures SoakRun::run() {
  FaultPlan faults = drawFaultPlan(settings_.actions, random_);
  if (std::wstring problem; !takeMeasuredLibrary(faults, problem)) {
    fail("the measured library's settings: " + narrow(problem));
    return figures_;
  }
  figures_.failuresInjected = faults.failures;
  figures_.restsLost = faults.lostRests;
  figures_.staleRests = faults.staleRests;
  figures_.statusPeriodMs = faults.statusPeriodMs;
  figures_.positionLagMs = faults.positionLagMs;
  figures_.positionAtRestNode = faults.positionAtRestNode;
  figures_.reportDelayMs = faults.reportDelayMs;
  figures_.positionRefreshMs = faults.positionRefreshMs;
  figures_.positionWaverNode = faults.positionWaverNode;
  e2e::SessionOptions options;
  options.folderName = L"soak";
  options.simulatorSettings = {
      {L"HALVANE_SIM_TIME_SCALE", std::to_wstring(settings_.timeScale)},
      {L"HALVANE_SIM_FAIL", faults.failures},
      {L"HALVANE_SIM_LOSE_REST", faults.lostRests},
      {L"HALVANE_SIM_STALE_REST", faults.staleRests},
      {L"HALVANE_SIM_STATUS_PERIOD_MS", std::to_wstring(faults.statusPeriodMs)},
      {L"HALVANE_SIM_POSITION_LAG_MS", std::to_wstring(faults.positionLagMs)},
      {L"HALVANE_SIM_POSITION_AT_REST", std::to_wstring(faults.positionAtRestNode)},
      {L"HALVANE_SIM_REPORT_DELAY_MS", std::to_wstring(faults.reportDelayMs)},
      {L"HALVANE_SIM_POSITION_REFRESH_MS", std::to_wstring(faults.positionRefreshMs)},
      {L"HALVANE_SIM_POSITION_WAVER",
       faults.positionWaverNode == 0 ? std::wstring() : std::to_wstring(faults.positionWaverNode)}};
  session_ = std::make_unique<e2e::ProgramSession>(options);
  if (!session_->started()) {
    fail("the program's window did not appear");
    return figures_;
  }
  trace_ = std::make_unique<TraceFollower>(session_->traceFile());
  actionLog_ = _wfopen((session_->folder() + L"\\soak-actions.txt").c_str(), L"w");
  // What the program calls on its own at start-up is no action's.
  pollTrace();
  settledCalls_ = callCount();
  for (int id : {IDC_START_SPEED1, IDC_START_SPEED2}) {
    typed_[id] = initialValue(NumberBox::StartSpeed);
  }
  for (int id : {IDC_MAX_SPEED1, IDC_MAX_SPEED2}) {
    typed_[id] = initialValue(NumberBox::MaxSpeed);
  }
  for (int id : {IDC_FORWARD_ANGLE1, IDC_REVERSE_ANGLE1, IDC_FORWARD_ANGLE2, IDC_REVERSE_ANGLE2}) {
    typed_[id] = initialValue(NumberBox::Angle);
  }

  for (actionIndex_ = 1; actionIndex_ <= settings_.actions && !stopped_; ++actionIndex_) {
    runAction();
    figures_.actionsDone = actionIndex_;
    if (actionIndex_ == std::min(kWarmUpActions, settings_.actions) && !stopped_) {
      figures_.handlesAfterWarmUp = handleCount(session_->process());
      figures_.privateAfterWarmUp = privateBytes(session_->process());
    }
  }
  if (!stopped_) {
    action_ = "end of run";
    pollTrace();
    checkNoCallsSinceLastAction();
    figures_.handlesAtEnd = handleCount(session_->process());
    figures_.privateAtEnd = privateBytes(session_->process());
    if (!session_->closeByEscape()) {
      fail("the program did not end within 10 s of Esc");
    }
  }
  return figures_;
}

void SoakRun::runAction() {
  pollTrace();
  checkNoCallsSinceLastAction();
  if (auto box = window().messageBox()) {
    fail("a message box was open with no command outstanding: \"" +
         printable(window().messageBoxText(*box)) + "\"");
    window().dismiss(*box);
  }
  const int roll = uniform(0, 99);
  if (!configured_) {
    action_ = "close and open";
    if (failedConfigurations_ >= 2) {
      typeSensibleSpeeds();
    }
    reopen(false, 0);
  } else if (roll < 30) {
    typeValue();
  } else if (roll < 50) {
    pickListRow();
  } else if (roll < 90) {
    clickCommand(kCommandButtons[static_cast<size_t>(uniform(0, 7))]);
  } else if (roll < 97) {
    homeWithClicksWhileDisabled(kCommandButtons[static_cast<size_t>(uniform(6, 7))]);
  } else if (roll < 99) {
    homeAndReopenMidway(kCommandButtons[static_cast<size_t>(uniform(6, 7))]);
  } else {
    action_ = "close and open";
    reopen(false, 0);
  }
  pollTrace();
  logAction();
  settledCalls_ = callCount();
}

void SoakRun::logAction() {
  if (actionLog_ == nullptr) {
    return;
  }
  const double firstMs = callCount() > settledCalls_ ? call(settledCalls_).ms : -1;
  std::fprintf(actionLog_, "%d %s: calls %zu-%zu from %.3f ms\n", actionIndex_, action_.c_str(),
               settledCalls_, callCount(), firstMs);
  std::fflush(actionLog_);
}

void SoakRun::typeValue() {
  struct Box {
    int id;
    NumberBox kind;
  };
  static constexpr Box kBoxes[] = {
      {IDC_START_SPEED1, NumberBox::StartSpeed}, {IDC_MAX_SPEED1, NumberBox::MaxSpeed},
      {IDC_FORWARD_ANGLE1, NumberBox::Angle},    {IDC_REVERSE_ANGLE1, NumberBox::Angle},
      {IDC_START_SPEED2, NumberBox::StartSpeed}, {IDC_MAX_SPEED2, NumberBox::MaxSpeed},
      {IDC_FORWARD_ANGLE2, NumberBox::Angle},    {IDC_REVERSE_ANGLE2, NumberBox::Angle}};
  const Box& box = kBoxes[uniform(0, 7)];
  TypedValue value = pickTypedValue(box.kind, random_);
  // A speed box holding a tiny speed would keep its wheel turning for minutes; mostly type
  // sensible speeds there, and let the angles take the full corpus.
  if (box.kind != NumberBox::Angle && value.meaning >= 0 && value.meaning < 100 &&
      uniform(0, 3) != 0) {
    value = initialValue(box.kind);
  }
  action_ = "type \"" + printable(value.text) + "\" into box " + std::to_string(box.id);
  window().setText(box.id, value.text);
  typed_[box.id] = value;
}

void SoakRun::typeSensibleSpeeds() {
  // What an operator does when the controllers keep refusing the speeds typed.
  for (int id : {IDC_START_SPEED1, IDC_START_SPEED2}) {
    typed_[id] = initialValue(NumberBox::StartSpeed);
    window().setText(id, typed_[id].text);
  }
  for (int id : {IDC_MAX_SPEED1, IDC_MAX_SPEED2}) {
    typed_[id] = initialValue(NumberBox::MaxSpeed);
    window().setText(id, typed_[id].text);
  }
}

void SoakRun::pickListRow() {
  struct List {
    int id;
    int rows;
  };
  static constexpr List kLists[] = {{IDC_ACCEL1, 9},     {IDC_ACCEL2, 9},    {IDC_MICROSTEP1, 9},
                                    {IDC_MICROSTEP2, 9}, {IDC_POSITION1, 6}, {IDC_POSITION2, 6},
                                    {IDC_POSITION1, 6},  {IDC_POSITION2, 6}, {IDC_ADAPTER_LIST, 9},
                                    {IDC_BAUD_LIST, 9}};
  const List& list = kLists[uniform(0, 9)];
  const int row = uniform(0, list.rows - 1);
  action_ = "select row " + std::to_string(row) + " of list " + std::to_string(list.id);
  window().selectListRow(list.id, row);
  if (window().listSelection(list.id) != row) {
    fail("list " + std::to_string(list.id) + " did not take row " + std::to_string(row));
  }
}

void SoakRun::clickCommand(const CommandButton& button) {
  action_ = std::string("click ") + button.name;
  const std::vector<MoveAllowance> allowances = {allowanceFor(button)};
  const double bound = button.kind == Kind::Homing ? homingBoundMs(button.node) : kReplyBoundMs;
  const size_t from = callCount();
  const size_t fromEntry = trace_->entries().size();
  window().click(button.id);
  noteReply(awaitReply(from, bound, action_), action_);
  checkMovesSince(from, allowances);
  if (button.kind != Kind::Homing) {
    checkNoHomingSpeed(button.node, fromEntry);
  }
}

void SoakRun::checkNoHomingSpeed(int node, size_t fromEntry) {
  if (shownMeaning(node == 1 ? IDC_MAX_SPEED1 : IDC_MAX_SPEED2) == -800) {
    return;  // the operator asked for it
  }
  const std::string started = "move-start node=" + std::to_string(node) + " ";
  const auto& entries = trace_->entries();
  for (size_t i = fromEntry; i < entries.size(); ++i) {
    if (entries[i].kind == "event" && entries[i].text.rfind(started, 0) == 0 &&
        entries[i].text.find(" max_speed=-800 ") != std::string::npos) {
      fail("a move ran at the homing speed left on the node: " + entries[i].text);
    }
  }
}

void SoakRun::homeWithClicksWhileDisabled(const CommandButton& button) {
  action_ = std::string("click ") + button.name + ", then buttons while it runs";
  std::vector<MoveAllowance> allowances = {allowanceFor(button)};
  const size_t from = callCount();
  const size_t fromEntry = trace_->entries().size();
  window().click(button.id);
  const std::string start = "PCAN_StartRelStep(" + std::to_string(button.node) + ",";
  awaitState(
      [&](const Await&) {
        return findCallSince(from, start) != nullptr || e2e::commandButtonsAre(window(), true);
      },
      homingBoundMs(button.node));
  bool proven = false;
  std::vector<MoveAllowance> clicked;  // what the clicked buttons would have asked for
  const e2e::TraceEntry* move = findCallSince(from, start);
  for (int click = uniform(1, 2); move != nullptr && move->result == 0 && click > 0; --click) {
    pollTrace();
    if (!homingMoveRunning(button.node, fromEntry)) {
      break;
    }
    const CommandButton& other = kCommandButtons[static_cast<size_t>(uniform(0, 7))];
    if (window().isEnabled(other.id)) {
      // The trace read before the button may be behind: the move must still run after it.
      pollTrace();
      if (homingMoveRunning(button.node, fromEntry)) {
        fail(std::string(other.name) + " was enabled while a homing ran");
      }
      break;
    }
    clicked.push_back(allowanceFor(other));
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window().control(other.id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG,
                        kDisabledClickTimeoutMs, &result);
    ++figures_.clicksWhileDisabled;
    // Still moving once the click was handled: the buttons were disabled when it came. The trace
    // is read afresh: a busy machine may have let the homing end while the click was on its way.
    pollTrace();
    if (homingMoveRunning(button.node, fromEntry)) {
      proven = true;
    } else {
      allowances.push_back(clicked.back());  // the reply may have come first: a real click
    }
  }
  const Await reply = awaitReply(from, homingBoundMs(button.node), action_);
  noteReply(reply, action_);
  if (proven && allowances.size() == 1) {
    // A command the click posted would start right after the homing's reply.
    awaitQuiet(kQueuedStartMs);
    std::string effect;
    for (const std::wstring& guard : kGuardTexts) {
      if (contains(reply.boxes, guard)) {
        effect = "showed \"" + printable(guard) + "\"";
      }
    }
    // A homing calls on its own node only, and never with these.
    for (size_t i = from; i < callCount() && effect.empty(); ++i) {
      const std::string& text = call(i).text;
      if (nodeOf(text) != button.node ||
          text.rfind("PCAN_ClearExtStopFlag(" + std::to_string(button.node) + ", 255)", 0) == 0 ||
          text.rfind("PCAN_SetDir(", 0) == 0) {
        effect = "started a command: " + text;
      }
    }
    if (!effect.empty()) {
      fail("a click on a disabled button " + effect);
      // Its command, and any other one queued, run on: let them end before going on, and hold
      // their moves to what those buttons would have asked for.
      awaitQuiet(kQuietMs);
      allowances.insert(allowances.end(), clicked.begin(), clicked.end());
    }
  }
  checkMovesSince(from, allowances);
}

void SoakRun::awaitQuiet(double quietMs) {
  size_t calls = callCount();
  auto changed = Clock::now();
  const Await quiet = awaitState(
      [&](const Await&) {
        if (callCount() != calls) {
          calls = callCount();
          changed = Clock::now();
        }
        return msSince(changed) >= quietMs && e2e::commandButtonsAre(window(), true);
      },
      kQuietBoundMs);
  if (!quiet.reached && !stopped_) {
    fail("the program did not come to rest within 60 s");
  }
}

void SoakRun::homeAndReopenMidway(const CommandButton& button) {
  action_ = std::string("click ") + button.name + ", close and open while it runs";
  const std::vector<MoveAllowance> allowances = {allowanceFor(button)};
  const double bound = homingBoundMs(button.node);
  const size_t from = callCount();
  const size_t fromEntry = trace_->entries().size();
  window().click(button.id);
  const std::string start = "PCAN_StartRelStep(" + std::to_string(button.node) + ",";
  awaitState(
      [&](const Await&) {
        return findCallSince(from, start) != nullptr || e2e::commandButtonsAre(window(), true);
      },
      bound);
  const e2e::TraceEntry* move = findCallSince(from, start);
  const bool midway =
      move != nullptr && move->result == 0 && homingMoveRunning(button.node, fromEntry);
  if (!midway) {
    noteReply(awaitReply(from, bound, action_), action_);
  } else {
    ++figures_.homingsInterrupted;
  }
  reopen(midway, bound);
  checkMovesSince(from, allowances);
}

void SoakRun::reopen(bool homingRunning, double homingBound) {
  bool opened = false;
  for (int attempt = 0; attempt < 5 && !opened && !stopped_; ++attempt) {
    if (window().isEnabled(IDC_CLOSE)) {
      window().clickAndWait(IDC_CLOSE);
    }
    window().click(IDC_OPEN);
    const Await open = awaitState(
        [&](const Await& so) {
          return window().isEnabled(IDC_CLOSE) || contains(so.boxes, L"PCAN_Init fail!\n") ||
                 contains(so.boxes, L"PCAN_OpenPort fail!\n");
        },
        kReplyBoundMs);
    opened = window().isEnabled(IDC_CLOSE);
    if (!open.reached) {
      fail("Open neither opened the bus nor said why within 5 s");
    }
  }
  if (!opened) {
    if (!stopped_) {
      fail("Open failed five times in a row");
    }
    configured_ = false;
    return;
  }
  const size_t opening = callCount();
  // With an earlier reply still to come (a homing's that ran on through Close and Open, or one
  // not seen), the buttons may be enabled before the configuration replies, and its reply would
  // not show. Once that earlier reply has shown, or the configuration has made its first call
  // (every earlier reply is in then), the buttons are taken back while the configuration's last
  // call has not come, so its own reply shows. When it has come first, the reply cannot be told
  // apart and the configuration is left unconfirmed.
  const bool hide = homingRunning || replyUnseen_;
  bool hidden = false;
  bool tooLate = false;
  const auto hideButtons = [&] {
    if (!hide || hidden || tooLate) {
      return;
    }
    const bool begun = findCallSince(opening, "PCAN_SetAccel(1,") != nullptr;
    const bool anyEnabled = !e2e::commandButtonsAre(window(), false);
    if (begun && !anyEnabled) {
      hidden = true;  // nothing earlier can enable them now
    } else if (begun || anyEnabled) {
      hidden = takeCommandButtonsBefore(opening, "PCAN_SetStopSpeed(2,");
      tooLate = !hidden;
    }
  };
  const Await check = awaitState(
      [&](const Await& so) {
        hideButtons();
        return countCallsSince(opening, "PCAN_IsSlaveOnline") >= 2 ||
               anyStartsWith(so.boxes, kOfflineLead);
      },
      kCheckBoundMs);
  if (!check.reached) {
    fail("the online check did not run within 6 s of Open");
    configured_ = false;
    return;
  }
  // The configuration follows the check's two queries at once; one poll may bring both.
  size_t checked = opening;
  for (size_t queries = 0; checked < callCount() && queries < 2; ++checked) {
    queries += call(checked).text.rfind("PCAN_IsSlaveOnline", 0) == 0 ? 1 : 0;
  }
  const auto configurationFailed = [](const std::vector<std::wstring>& boxes) {
    return std::any_of(std::begin(kConfigurationFailures), std::end(kConfigurationFailures),
                       [&](const std::wstring& text) { return contains(boxes, text); });
  };
  // The configuration's message may already have come while the check was awaited.
  bool offline = anyStartsWith(check.boxes, kOfflineLead);
  bool failed = configurationFailed(check.boxes);
  const Await configuration = awaitState(
      [&](const Await& so) {
        offline = offline || anyStartsWith(so.boxes, kOfflineLead);
        failed = failed || configurationFailed(so.boxes);
        hideButtons();
        const e2e::TraceEntry* last = findCallSince(checked, "PCAN_SetStopSpeed(2,");
        return offline || failed || tooLate ||
               (last != nullptr && last->result == 0 && hidden == hide &&
                e2e::commandButtonsAre(window(), true));
      },
      kReplyBoundMs + (homingRunning ? homingBound : 0));
  if (!configuration.reached && !stopped_) {
    fail("the configuration after Open gave no reply within its bound (" + buttonStates() + ")");
  }
  replyUnseen_ = hide && !hidden;
  if (tooLate) {
    configured_ = false;  // not a failure: the next Open configures again
    return;
  }
  noteReply(configuration, "configuration");
  configured_ = configuration.reached && !offline && !failed;
  failedConfigurations_ = configured_ ? 0 : failedConfigurations_ + 1;
}

bool SoakRun::takeCommandButtonsBefore(size_t fromCall, const std::string& prefix) {
  if (findCallSince(fromCall, prefix) != nullptr) {
    return false;
  }
  // Each switch is handled by the window before it returns, so a reply sent after the call
  // came is handled after it.
  for (int id : e2e::kCommandButtons) {
    EnableWindow(window().control(id), FALSE);
  }
  pollTrace();
  return findCallSince(fromCall, prefix) == nullptr;
}

template <typename Done>
SoakRun::Await SoakRun::awaitState(Done done, double boundMs) {
  Await result;
  const auto start = Clock::now();
  double boxMs = 0;
  auto lastAnswer = start;
  for (;;) {
    pollTrace();
    if (!alive()) {
      return result;
    }
    if (msSince(lastAnswer) >= 100) {
      lastAnswer = Clock::now();
      if (!window().responds()) {
        fail("the window did not answer a message within 5 s");
        stopped_ = true;
        return result;
      }
    }
    if (const auto box = window().messageBox()) {
      const auto shown = Clock::now();
      e2e::waitUntil([&] { return !window().messageBoxText(*box).empty(); },
                     std::chrono::milliseconds(2000));
      result.boxes.push_back(window().messageBoxText(*box));
      window().dismiss(*box);
      ++figures_.messagesDismissed;
      boxMs += msSince(shown);
      continue;
    }
    result.programMs = msSince(start) - boxMs;
    if (done(result)) {
      result.reached = true;
      return result;
    }
    if (result.programMs > boundMs) {
      return result;
    }
    Sleep(5);
  }
}

SoakRun::Await SoakRun::awaitReply(size_t fromCall, double boundMs, const std::string& what) {
  // A command the window accepted makes at least one call or shows a message; its reply then
  // gives the buttons back. Reading the trace before the buttons keeps the two in order.
  Await reply = awaitState(
      [&](const Await& so) {
        return (callCount() > fromCall || !so.boxes.empty()) &&
               e2e::commandButtonsAre(window(), true);
      },
      boundMs);
  if (!reply.reached && !stopped_) {
    char text[160];
    std::snprintf(text, sizeof(text), "no reply to %s within %.1f s", what.c_str(), boundMs / 1000);
    fail(text + (" (" + buttonStates() + ")"));
  }
  return reply;
}

void SoakRun::noteReply(const Await& reply, const std::string& what) {
  if (reply.reached && reply.programMs > figures_.longestReplyMs) {
    figures_.longestReplyMs = reply.programMs;
    figures_.longestReplyOf = what;
  }
}

void SoakRun::checkMovesSince(size_t fromCall, const std::vector<MoveAllowance>& allowances) {
  std::vector<RequestedMove> moves;
  for (size_t i = fromCall; i < callCount(); ++i) {
    if (const auto move = requestedMove(call(i).text)) {
      moves.push_back(*move);
    }
  }
  for (const std::string& problem : checkMoves(moves, allowances)) {
    fail(problem);
  }
}

void SoakRun::checkNoCallsSinceLastAction() {
  if (callCount() > settledCalls_) {
    fail("the program called the library with no command outstanding: " + call(settledCalls_).text +
         " (" + std::to_string(callCount() - settledCalls_) + " calls)");
    settledCalls_ = callCount();
  }
}

bool SoakRun::homingMoveRunning(int node, size_t fromEntry) const {
  const std::string nodeField = "node=" + std::to_string(node) + " ";
  bool started = false;
  const auto& entries = trace_->entries();
  for (size_t i = fromEntry; i < entries.size(); ++i) {
    const auto& entry = entries[i];
    if (entry.kind != "event" || entry.text.find(nodeField) == std::string::npos) {
      continue;
    }
    if (entry.text.rfind("move-start ", 0) == 0) {
      started = true;
    } else if (entry.text.rfind("rest ", 0) == 0) {
      return false;
    }
  }
  return started;
}

MoveAllowance SoakRun::allowanceFor(const CommandButton& button) {
  const int64_t microstep = shownMicrostep(button.node);
  switch (button.kind) {
    case Kind::Slot:
      return slotAllowance(button.node, microstep);
    case Kind::Homing:
      return homingAllowance(button.node, microstep);
    case Kind::Forward:
    case Kind::Reverse:
      break;
  }
  return rotationAllowance(button.node, shownMeaning(button.angleBox), microstep);
}

int64_t SoakRun::shownMicrostep(int node) const {
  const int list = node == 1 ? IDC_MICROSTEP1 : IDC_MICROSTEP2;
  const auto items = session_->window().listItems(list);
  const int row = session_->window().listSelection(list);
  if (row < 0 || static_cast<size_t>(row) >= items.size()) {
    return 0;
  }
  return std::wcstoll(items[static_cast<size_t>(row)].c_str(), nullptr, 10);
}

int64_t SoakRun::shownMeaning(int boxId) {
  const std::wstring shown = window().text(boxId);
  const TypedValue& typed = typed_[boxId];
  if (shown != typed.text) {
    fail("box " + std::to_string(boxId) + " shows \"" + printable(shown) + "\" where \"" +
         printable(typed.text) + "\" was typed");
  }
  return typed.meaning;
}

double SoakRun::homingBoundMs(int node) const {
  const double travelMs =
      static_cast<double>(shownMicrostep(node)) * 300 * 1000 / kHomingSpeed / settings_.timeScale;
  return kReplyBoundMs + travelMs + kRestConfirmMs;
}

const e2e::TraceEntry& SoakRun::call(size_t index) const {
  return trace_->entries()[callEntries_[index]];
}

const e2e::TraceEntry* SoakRun::findCallSince(size_t fromCall, const std::string& prefix) const {
  for (size_t i = fromCall; i < callCount(); ++i) {
    if (call(i).text.rfind(prefix, 0) == 0) {
      return &call(i);
    }
  }
  return nullptr;
}

size_t SoakRun::countCallsSince(size_t fromCall, const std::string& prefix) const {
  size_t count = 0;
  for (size_t i = fromCall; i < callCount(); ++i) {
    count += call(i).text.rfind(prefix, 0) == 0 ? 1 : 0;
  }
  return count;
}

void SoakRun::pollTrace() {
  trace_->poll();
  const auto& entries = trace_->entries();
  for (; entriesIndexed_ < entries.size(); ++entriesIndexed_) {
    if (entries[entriesIndexed_].kind == "call") {
      callEntries_.push_back(entriesIndexed_);
    }
    checkHomingEnd(entries[entriesIndexed_]);
  }
}

void SoakRun::checkHomingEnd(const e2e::TraceEntry& entry) {
  if (entry.kind == "event") {
    const size_t field = entry.text.find(" node=");
    const int node = field == std::string::npos ? 0 : std::atoi(entry.text.c_str() + field + 6);
    if (node != 1 && node != 2) {
      return;
    }
    bool& turning = homingMoveTurning_[static_cast<size_t>(node - 1)];
    if (entry.text.rfind("move-start ", 0) == 0) {
      turning = entry.text.find(" max_speed=-800 ") != std::string::npos &&
                entry.text.find(" ext_stop=armed") != std::string::npos;
    } else if (entry.text.rfind("rest ", 0) == 0) {
      turning = false;
    }
    return;
  }
  const int node = nodeOf(entry.text);
  if (entry.kind != "call" || (node != 1 && node != 2) ||
      !homingMoveTurning_[static_cast<size_t>(node - 1)]) {
    return;
  }
  const std::string n = std::to_string(node);
  if (entry.text.rfind("PCAN_SetMotorPos(" + n + ",", 0) == 0 ||
      entry.text.rfind("PCAN_SetExtStopEnable(" + n + ", 0)", 0) == 0) {
    fail("the homing ended while its wheel still turned: " + entry.text);
  }
}

std::string SoakRun::buttonStates() {
  std::string states = "disabled:";
  for (const CommandButton& button : kCommandButtons) {
    states += window().isEnabled(button.id) ? "" : std::string(" ") + button.name;
  }
  return states;
}

void SoakRun::fail(const std::string& what) {
  char line[600];
  std::snprintf(line, sizeof(line), "soak: action %d (%s): %s", actionIndex_, action_.c_str(),
                what.c_str());
  figures_.failures.emplace_back(line);
  std::printf("%s\n", line);
  std::fflush(stdout);
}

bool SoakRun::alive() {
  if (stopped_) {
    return false;
  }
  if (session_->hasExited(0)) {
    DWORD code = 0;
    GetExitCodeProcess(session_->process(), &code);
    char text[80];
    std::snprintf(text, sizeof(text), "the program exited (exit code 0x%lx)",
                  static_cast<unsigned long>(code));
    fail(text);
    stopped_ = true;
    return false;
  }
  return true;
}

}  // namespace halvane::soak
