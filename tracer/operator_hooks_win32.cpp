// Observes the operator from inside the process, without changing what the program does or when:
// thread-local window-procedure hooks on each thread that calls into the library (the window's,
// and the worker's, which shows the failure boxes). They only read, and always pass every message
// on unchanged.
#include <windows.h>

#include <map>
#include <mutex>
#include <string>

#include "common/wide_text.h"
#include "tracer/forwarding_tracer.h"
#include "tracer/operator_steps.h"

namespace halvane::tracer {
namespace {

constexpr int kMessageBoxTextId = 0xFFFF;  // the static control that holds a message box's text

ForwardingTracer* stepLog = nullptr;
std::mutex boxesMutex;
std::map<HWND, std::string> openBoxes;  // message boxes shown, with their text
thread_local bool watching = false;

std::string textOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return narrow(text);
}

std::wstring classOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// A list's chosen row and its text: ComboBox or ListBox.
std::pair<int, std::string> selectionOf(HWND list) {
  const bool combo = classOf(list) == L"ComboBox";
  const int row = static_cast<int>(SendMessageW(list, combo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0));
  if (row < 0) {
    return {row, ""};
  }
  const auto length = SendMessageW(list, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, row, 0);
  std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
  SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()));
  text.resize(wcslen(text.c_str()));
  return {row, narrow(text)};
}

BOOL CALLBACK addValue(HWND child, LPARAM values) {
  const std::wstring name = classOf(child);
  const int id = GetDlgCtrlID(child);
  auto& list = *reinterpret_cast<std::vector<ControlValue>*>(values);
  if (name == L"Edit") {
    list.push_back({id, textOf(child)});
  } else if (name == L"ComboBox" || name == L"ListBox") {
    list.push_back({id, selectionOf(child).second});
  }
  return TRUE;
}

void beforeMessage(const CWPSTRUCT& m) {
  if (m.message == WM_COMMAND) {
    const int id = LOWORD(m.wParam);
    const int notification = HIWORD(m.wParam);
    const auto control = reinterpret_cast<HWND>(m.lParam);
    if (control == nullptr) {
      std::vector<ControlValue> none;
      stepLog->write(clickStep(id, "", none));  // Enter or Esc through the dialog manager
    } else if (notification == BN_CLICKED && classOf(control) == L"Button") {
      std::vector<ControlValue> values;
      EnumChildWindows(m.hwnd, addValue, reinterpret_cast<LPARAM>(&values));
      stepLog->write(clickStep(id, textOf(control), values, IsWindowEnabled(control) != FALSE));
    } else if (notification == CBN_SELCHANGE &&
               (classOf(control) == L"ComboBox" || classOf(control) == L"ListBox")) {
      const auto [row, text] = selectionOf(control);
      stepLog->write(selectStep(id, row, text));
    }
  } else if (m.message == WM_DESTROY) {
    std::unique_lock lock(boxesMutex);
    const auto box = openBoxes.find(m.hwnd);
    if (box != openBoxes.end()) {
      const std::string text = box->second;
      openBoxes.erase(box);
      lock.unlock();
      stepLog->write(messageClosedStep(text));
    } else if (GetParent(m.hwnd) == nullptr && GetWindow(m.hwnd, GW_OWNER) == nullptr &&
               classOf(m.hwnd) == L"#32770") {
      lock.unlock();
      stepLog->write(windowEndStep(textOf(m.hwnd)));
    }
  }
}

// After WM_INITDIALOG a message box has its texts.
void afterMessage(const CWPRETSTRUCT& m) {
  if (m.message != WM_INITDIALOG) {
    return;
  }
  const HWND textControl = GetDlgItem(m.hwnd, kMessageBoxTextId);
  if (textControl == nullptr) {
    return;
  }
  const std::string text = textOf(textControl);
  {
    std::lock_guard lock(boxesMutex);
    openBoxes[m.hwnd] = text;
  }
  stepLog->write(messageShownStep(textOf(m.hwnd), text));
}

LRESULT CALLBACK beforeHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && stepLog != nullptr) {
    beforeMessage(*reinterpret_cast<const CWPSTRUCT*>(lParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK afterHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && stepLog != nullptr) {
    afterMessage(*reinterpret_cast<const CWPRETSTRUCT*>(lParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Commands posted rather than sent (Esc and Enter through the dialog manager).
LRESULT CALLBACK queueHook(int code, WPARAM wParam, LPARAM lParam) {
  const auto* msg = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && stepLog != nullptr &&
      msg->message == WM_COMMAND) {
    beforeMessage(CWPSTRUCT{msg->lParam, msg->wParam, msg->message, msg->hwnd});
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

// Once per thread: where a hook cannot be set, the calls are recorded alone.
void watchOperatorOnThisThread(ForwardingTracer& log) {
  if (watching) {
    return;
  }
  watching = true;
  stepLog = &log;
  SetWindowsHookExW(WH_CALLWNDPROC, beforeHook, nullptr, GetCurrentThreadId());
  SetWindowsHookExW(WH_CALLWNDPROCRET, afterHook, nullptr, GetCurrentThreadId());
  SetWindowsHookExW(WH_GETMESSAGE, queueHook, nullptr, GetCurrentThreadId());
}

}  // namespace halvane::tracer
