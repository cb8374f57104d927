// The narrow seam through which the main window's handlers reach its controls: the Win32 dialog
// in the program, a recording fake in the tests. Texts are UTF-8 on this side.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace halvane {

class DialogControls {
 public:
  virtual ~DialogControls() = default;

  virtual void enable(int controlId, bool enabled) = 0;
  // Switches controls that always change together; a window may then repaint them once.
  virtual void enableGroup(std::span<const int> controlIds, bool enabled) {
    for (int id : controlIds) {
      enable(id, enabled);
    }
  }
  virtual std::string text(int controlId) const = 0;
  virtual void setText(int controlId, std::string_view utf8Text) = 0;
  // Zero-based selected row of a drop-down list; -1 when none is selected.
  virtual int listSelection(int controlId) const = 0;
  // Empties the list, adds the items in order and selects one row.
  virtual void fillList(int controlId, std::span<const std::string_view> items, int selected) = 0;
  // Arming a timer that is armed already restarts it.
  virtual void armTimer(int timerId, unsigned periodMs) = 0;
  virtual void stopTimer(int timerId) = 0;
  // Modal, OK only; returns once the operator has dismissed it.
  virtual void showMessage(std::string_view utf8Text) = 0;
};

}  // namespace halvane
