#include "tests/sessions/step_player.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "driver/trace_follower.h"
#include "driver/wait_until.h"
#include "trace/wait_reads.h"

namespace halvane::sessions {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kStepWait{30000};
// What a recording may take after its last step that a replay waits for.
constexpr int64_t kLongestTail = 120'000'000;
constexpr int kCancelId = 2;  // Esc through the dialog manager

bool isComboBox(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return std::wstring(name) == L"ComboBox";
}

// The parameter controls as they stood at the recorded click.
void setValues(const e2e::WindowProbe& window, const trace::Record& click) {
  for (const trace::Field& field : click.fields) {
    // "c1006=5"; not "caption=" nor the whole length of a value cut short ("c1006_bytes=").
    if (field.key.size() < 2 || field.key[0] != 'c' ||
        field.key.find_first_not_of("0123456789", 1) != std::string::npos) {
      continue;
    }
    const int id = std::atoi(field.key.c_str() + 1);
    const std::wstring value = widen(field.value);
    if (window.control(id) == nullptr || window.text(id) == value) {
      continue;
    }
    if (!isComboBox(window.control(id))) {
      window.setText(id, value);
      continue;
    }
    const std::vector<std::wstring> items = window.listItems(id);
    for (size_t row = 0; row < items.size(); ++row) {
      if (items[row] == value) {
        window.selectListRow(id, static_cast<int>(row));
      }
    }
  }
}

bool playStep(e2e::ProgramSession& session, const trace::Record& step, HWND& box,
              std::string& problem) {
  e2e::WindowProbe& window = session.window();
  const std::string* id = step.field("id");
  if (step.name == "click" && box != nullptr) {
    return true;  // the box's own button: dismissed with the box's closing
  }
  const std::string* enabled = step.field("enabled");
  if (step.name == "click" && enabled != nullptr && *enabled == "0") {
    // A disabled button takes no click the replay could make; what the program did then shows
    // in the recording's calls after it.
    return true;
  }
  if (step.name == "click" && id != nullptr) {
    const int control = std::atoi(id->c_str());
    setValues(window, step);
    if (control == kCancelId) {
      window.pressEscape();
      return true;
    }
    if (!e2e::waitUntil([&] { return window.isEnabled(control); }, kStepWait)) {
      problem = "the button " + *id + " never became enabled";
      return false;
    }
    window.click(control);
  } else if (step.name == "select" && id != nullptr) {
    window.selectListRow(std::atoi(id->c_str()),
                         static_cast<int>(step.intField("row").value_or(0)));
  } else if (step.name == "message") {
    const std::string* text = step.field("text");
    std::optional<HWND> shown;
    const bool came = e2e::waitUntil(
        [&] {
          shown = window.messageBox();
          return shown && (text == nullptr || narrow(window.messageBoxText(*shown)) == *text);
        },
        kStepWait);
    if (!came) {
      problem = "the message " + (text ? *text : std::string("box")) + " never came" +
                (shown ? " (the box shows " + narrow(window.messageBoxText(*shown)) + ")" : "");
      return false;
    }
    box = *shown;
  } else if (step.name == "message-closed" && box != nullptr) {
    window.dismiss(box);
    box = nullptr;
  } else if (step.name == trace::kWindowEnd) {
    if (!session.hasExited(30000)) {
      problem = "the window did not end";
      return false;
    }
  }
  return true;
}

// How far a session has come: its calls (a wait's position reads aside) and callbacks, counted a
// record at a time as they are read.
class Progress {
 public:
  void add(const trace::Record& r) {
    const bool call = r.kind == trace::Kind::Call && !waits_.isWaitRead(r);
    count_ += call || r.kind == trace::Kind::Callback ? 1 : 0;
  }
  size_t count() const { return count_; }

 private:
  trace::WaitReadTracker waits_;
  size_t count_ = 0;
};

// The program's progress here, read from where its trace was last read: a poll costs what was
// written since, not the whole trace, so a long recording's steps do not fall further behind.
class SessionProgress {
 public:
  explicit SessionProgress(const e2e::ProgramSession& session) : trace_(session.traceFile()) {}
  size_t now() {
    trace_.poll([&](const trace::Record& r) { progress_.add(r); });
    return progress_.count();
  }

 private:
  e2e::TraceFollower trace_;
  Progress progress_;
};

}  // namespace

bool awaitRecordedEnd(const e2e::ProgramSession& session,
                      const std::vector<trace::Record>& records) {
  int64_t lastStepUs = 0;
  int64_t lastUs = 0;
  for (const trace::Record& r : records) {
    lastStepUs = r.kind == trace::Kind::Operator ? r.timeUs : lastStepUs;
    lastUs = std::max(lastUs, r.timeUs);
  }
  const auto after = std::chrono::microseconds(std::min(lastUs - lastStepUs, kLongestTail));
  Progress recorded;
  for (const trace::Record& r : records) {
    recorded.add(r);
  }
  SessionProgress here(session);
  return e2e::waitUntil([&] { return here.now() >= recorded.count(); },
                        std::chrono::duration_cast<std::chrono::milliseconds>(after) + kStepWait);
}

bool playOperatorSteps(e2e::ProgramSession& session, const std::vector<trace::Record>& records,
                       Pace pace, std::string& problem) {
  std::optional<int64_t> previousUs;
  Clock::time_point previousAt = Clock::now();
  HWND box = nullptr;
  Progress recorded;  // of the records before the step
  SessionProgress here(session);
  for (const trace::Record& step : records) {
    if (step.kind != trace::Kind::Operator) {
      recorded.add(step);
      continue;
    }
    if (pace == Pace::Recorded && previousUs) {
      std::this_thread::sleep_until(previousAt +
                                    std::chrono::microseconds(step.timeUs - *previousUs));
    }
    // The step comes once the program and the library have got as far as they had when it was
    // recorded (a report that comes late under load must still come before the step).
    e2e::waitUntil([&] { return here.now() >= recorded.count(); }, kStepWait);
    if (!playStep(session, step, box, problem)) {
      return false;
    }
    previousUs = step.timeUs;
    previousAt = Clock::now();
  }
  return true;
}

}  // namespace halvane::sessions
