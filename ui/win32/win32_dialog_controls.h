// The controls seam over a live dialog window.
#pragma once

#include <windows.h>

#include <string>

#include "ui/dialog_controls.h"

namespace halvane {

class Win32DialogControls final : public DialogControls {
 public:
  // `caption` heads every message box.
  Win32DialogControls(HWND dialog, std::wstring caption)
      : dialog_(dialog), caption_(std::move(caption)) {}

  void enable(int controlId, bool enabled) override;
  void enableGroup(std::span<const int> controlIds, bool enabled) override;
  std::string text(int controlId) const override;
  void setText(int controlId, std::string_view utf8Text) override;
  int listSelection(int controlId) const override;
  void fillList(int controlId, std::span<const std::string_view> items, int selected) override;
  void armTimer(int timerId, unsigned periodMs) override;
  void stopTimer(int timerId) override;
  void showMessage(std::string_view utf8Text) override;

 private:
  HWND dialog_;
  std::wstring caption_;
};

}  // namespace halvane
