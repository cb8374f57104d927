// A window for the main window's handlers: records what they do to the controls, in order, and
// lets a test play the operator (select a row, type a text).
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ui/dialog_controls.h"

namespace halvane::testing {

class FakeDialogControls final : public DialogControls {
 public:
  // Controls the template creates disabled.
  explicit FakeDialogControls(std::set<int> initiallyDisabled = {})
      : disabled_(std::move(initiallyDisabled)) {}

  void enable(int controlId, bool enabled) override {
    if (enabled) {
      disabled_.erase(controlId);
    } else {
      disabled_.insert(controlId);
    }
  }
  std::string text(int controlId) const override {
    const auto found = texts_.find(controlId);
    return found == texts_.end() ? std::string() : found->second;
  }
  void setText(int controlId, std::string_view utf8Text) override {
    texts_[controlId] = std::string(utf8Text);
  }
  int listSelection(int controlId) const override {
    const auto found = selections_.find(controlId);
    return found == selections_.end() ? -1 : found->second;
  }
  void fillList(int controlId, std::span<const std::string_view> items, int selected) override {
    lists_[controlId].assign(items.begin(), items.end());
    select(controlId, selected);
  }
  void armTimer(int timerId, unsigned periodMs) override {
    armed_[timerId] = periodMs;
    events_.push_back("arm " + std::to_string(timerId) + " " + std::to_string(periodMs));
  }
  void stopTimer(int timerId) override {
    armed_.erase(timerId);
    events_.push_back("stop " + std::to_string(timerId));
  }
  void showMessage(std::string_view utf8Text) override {
    messages_.emplace_back(utf8Text);
    events_.push_back("message " + std::string(utf8Text));
    if (whileMessageShown) {
      whileMessageShown();
    }
  }

  // The operator.
  void select(int listId, int row) {
    selections_[listId] = row;
    const auto& items = lists_[listId];
    texts_[listId] = row >= 0 && row < static_cast<int>(items.size()) ? items[row] : std::string();
  }
  void type(int editId, std::string text) { texts_[editId] = std::move(text); }

  // Observation.
  bool isEnabled(int controlId) const { return disabled_.count(controlId) == 0; }
  std::vector<std::string> listItems(int listId) const {
    const auto found = lists_.find(listId);
    return found == lists_.end() ? std::vector<std::string>() : found->second;
  }
  bool isArmed(int timerId) const { return armed_.count(timerId) != 0; }
  unsigned period(int timerId) const { return armed_.at(timerId); }
  const std::vector<std::string>& messages() const { return messages_; }
  const std::vector<std::string>& events() const { return events_; }
  void clearEvents() {
    events_.clear();
    messages_.clear();
  }

  // Runs inside a message box's modal loop, as a timer tick or a reply would.
  std::function<void()> whileMessageShown;

 private:
  std::set<int> disabled_;
  std::map<int, std::string> texts_;
  std::map<int, int> selections_;
  std::map<int, std::vector<std::string>> lists_;
  std::map<int, unsigned> armed_;
  std::vector<std::string> messages_;
  std::vector<std::string> events_;
};

}  // namespace halvane::testing
