#include "tests/sessions/step_player.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/e2e/wait_until.h"

namespace halvane::sessions {
namespace {

using Clock = std::chrono::steady_clock;
using e2e::narrow;
using e2e::widen;

constexpr std::chrono::milliseconds kStepWait{30000};
constexpr int kCancelId = 2;  // Esc through the dialog manager

bool isComboBox(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return std::wstring(name) == L"ComboBox";
}

// The parameter controls as they stood at the recorded click.
void setValues(const e2e::WindowProbe& window, const trace::Record& click) {
  for (const trace::Field& field : click.fields) {
    if (field.key.size() < 2 || field.key[0] != 'c') {
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
  } else if (step.name == "window-end") {
    if (!session.hasExited(30000)) {
      problem = "the window did not end";
      return false;
    }
  }
  return true;
}

}  // namespace

bool playOperatorSteps(e2e::ProgramSession& session, const std::vector<trace::Record>& records,
                       Pace pace, std::string& problem) {
  std::optional<int64_t> previousUs;
  Clock::time_point previousAt = Clock::now();
  HWND box = nullptr;
  for (const trace::Record& step : records) {
    if (step.kind != trace::Kind::Operator) {
      continue;
    }
    if (pace == Pace::Recorded && previousUs) {
      std::this_thread::sleep_until(previousAt +
                                    std::chrono::microseconds(step.timeUs - *previousUs));
    }
    if (!playStep(session, step, box, problem)) {
      return false;
    }
    previousUs = step.timeUs;
    previousAt = Clock::now();
  }
  return true;
}

}  // namespace halvane::sessions
