#include "ui/win32/win32_dialog_controls.h"

#include "common/wide_text.h"

namespace halvane {

void Win32DialogControls::enable(int controlId, bool enabled) {
  EnableWindow(GetDlgItem(dialog_, controlId), enabled ? TRUE : FALSE);
}

void Win32DialogControls::enableGroup(std::span<const int> controlIds, bool enabled) {
  // A button repaints itself the moment it is switched, which costs far more than the switch;
  // with redrawing held back the group is painted once, in the next WM_PAINT.
  SendMessageW(dialog_, WM_SETREDRAW, FALSE, 0);
  for (int id : controlIds) {
    EnableWindow(GetDlgItem(dialog_, id), enabled ? TRUE : FALSE);
  }
  SendMessageW(dialog_, WM_SETREDRAW, TRUE, 0);
  for (int id : controlIds) {
    InvalidateRect(GetDlgItem(dialog_, id), nullptr, TRUE);
  }
}

std::string Win32DialogControls::text(int controlId) const {
  const HWND control = GetDlgItem(dialog_, controlId);
  const int length = GetWindowTextLengthW(control);
  if (length <= 0) {
    return {};
  }
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(control, wide.data(), length + 1);
  wide.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return narrow(wide);
}

void Win32DialogControls::setText(int controlId, std::string_view utf8Text) {
  SetDlgItemTextW(dialog_, controlId, widen(utf8Text).c_str());
}

int Win32DialogControls::listSelection(int controlId) const {
  return static_cast<int>(SendDlgItemMessageW(dialog_, controlId, CB_GETCURSEL, 0, 0));
}

void Win32DialogControls::fillList(int controlId, std::span<const std::string_view> items,
                                   int selected) {
  SendDlgItemMessageW(dialog_, controlId, CB_RESETCONTENT, 0, 0);
  for (std::string_view item : items) {
    const std::wstring wide = widen(item);
    SendDlgItemMessageW(dialog_, controlId, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(wide.c_str()));
  }
  SendDlgItemMessageW(dialog_, controlId, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void Win32DialogControls::armTimer(int timerId, unsigned periodMs) {
  SetTimer(dialog_, static_cast<UINT_PTR>(timerId), periodMs, nullptr);
}

void Win32DialogControls::stopTimer(int timerId) {
  KillTimer(dialog_, static_cast<UINT_PTR>(timerId));
}

void Win32DialogControls::showMessage(std::string_view utf8Text) {
  MessageBoxW(dialog_, widen(utf8Text).c_str(), caption_.c_str(), MB_OK);
}

}  // namespace halvane
