// Reads and drives another process's dialog through window messages, as an operator would.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace halvane::e2e {

inline constexpr wchar_t kMainTitle[] = L"衰减控制系统";

class WindowProbe {
 public:
  void attach(HWND dialog, DWORD processId) {
    dialog_ = dialog;
    processId_ = processId;
  }
  HWND handle() const { return dialog_; }

  HWND control(int id) const { return GetDlgItem(dialog_, id); }
  std::wstring text(int id) const;
  bool isEnabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }
  std::vector<std::wstring> listItems(int id) const;
  int listSelection(int id) const;
  // The control that has the keyboard focus in the program, or 0 when none of the dialog's has.
  int focusedControlId() const;

  // Operator actions. Clicks are posted: a handler that shows a box does not block the driver.
  bool responds() const;
  void click(int id) const;
  // Clicks and returns once the click's handler has run; for handlers that show no box.
  bool clickAndWait(int id) const;
  void setText(int id, const std::wstring& text) const;
  void selectListRow(int id, int row) const;
  void pressEscape() const;
  void systemCommand(WPARAM command) const;

  // The program's message boxes (any top-level dialog of the process but the main window).
  std::optional<HWND> messageBox() const;
  std::wstring messageBoxText(HWND box) const;
  void dismiss(HWND box) const;
  // Waits for a box, returns its text and dismisses it; nullopt when none comes in time.
  std::optional<std::wstring> takeMessage(DWORD timeoutMs = 10000) const;
  // Top-level dialogs of the process titled `title` (for the About box).
  std::optional<HWND> dialogTitled(const std::wstring& title) const;

  // The system menu's item texts (separators read as empty).
  std::vector<std::wstring> systemMenuItems() const;

 private:
  std::vector<HWND> topLevelDialogs() const;

  HWND dialog_ = nullptr;
  DWORD processId_ = 0;
};

std::wstring windowText(HWND window);
// The visible top-level dialogs of a process.
std::vector<HWND> visibleDialogsOf(DWORD processId);
// Saves the whole display as a BMP file.
bool saveScreenshot(const std::wstring& path);

}  // namespace halvane::e2e
