#include "tools/halvane-trace/doctor_operator.h"

#include <cctype>
#include <string_view>

namespace halvane::tools {
namespace {

// The dialog manager's OK and Cancel (Enter, Esc, a message box's button) end a box or the window
// rather than start a command.
constexpr int kOkId = 1;
constexpr int kCancelId = 2;
// The online check's message: "节点" with "1#," "2#," for the nodes not online, the last comma
// dropped, and "未上线".
constexpr std::string_view kOfflineLead = "节点";
constexpr std::string_view kOfflineTail = "未上线";
constexpr size_t kOnlineReportsTold = 3;

std::string textOf(const TraceLine& step) {
  const std::string* text = step.field("text");
  return text != nullptr ? *text : "";
}

}  // namespace

std::string OperatorDoctor::clickWords(const TraceLine& click) const {
  const std::string* caption = click.field("caption");
  const std::string* id = click.field("id");
  return "the click on " + quotedText(caption != nullptr ? *caption : "") +
         " (id=" + (id != nullptr ? *id : "?") + ", " + lineWord(click.line) + ")";
}

void OperatorDoctor::call(const TraceLine& r) {
  if (click_) {
    click_->answered = true;
    click_->callsSince = true;
  }
  if (r.name == "PCAN_IsSlaveOnline" && !r.missing) {
    answers_.insert_or_assign(nodeOf(r), r);
  }
}

void OperatorDoctor::callback(const TraceLine& r) {
  if (r.name != "OnlineCallback") {
    return;
  }
  const int node = nodeOf(r);
  std::vector<TraceLine>& reports = online_[node];
  if (reports.size() == kOnlineReportsTold) {
    reports.erase(reports.begin());
  }
  reports.push_back(r);
  if (intArg(r, 1) != 1) {
    findings_.add({Severity::Warning,
                   "node-offline",
                   node,
                   nodeWord(node) + " reported itself offline: " + r.signature() + " (" +
                       lineWord(r.line) + ")",
                   {r.line}},
                  "offline reports of " + nodeWord(node));
  }
}

bool OperatorDoctor::boundary(const TraceLine& step) {
  if (step.name == "click" && openBoxes_[step.threadId] > 0) {
    return false;
  }
  if (click_) {
    const std::string* enabled = click_->step.field("enabled");
    const bool disabled = enabled != nullptr && *enabled == "0";
    if (disabled || !click_->answered) {
      findings_.add({Severity::Note,
                     "click-did-nothing",
                     kBusLane,
                     (disabled ? clickWords(click_->step) + " was on a disabled button"
                               : clickWords(click_->step)) +
                         (click_->answered ? ""
                                           : " and did nothing: no call and no message came "
                                             "before the operator's next step (" +
                                                 lineWord(step.line) + ")"),
                     {click_->step.line}},
                    "clicks that did nothing");
    }
    click_.reset();
  }
  answers_.clear();
  const auto id = step.intField("id");
  if (step.name == "click" && id && *id != kOkId && *id != kCancelId) {
    click_ = Click{step};
  }
  return true;
}

void OperatorDoctor::messageShown(const TraceLine& step) {
  ++openBoxes_[step.threadId];
  if (click_) {
    click_->answered = true;
  }
}

void OperatorDoctor::messageClosed(const TraceLine& step) {
  int& open = openBoxes_[step.threadId];
  open = open > 0 ? open - 1 : 0;
}

bool OperatorDoctor::offlineMessage(const TraceLine& step) {
  const std::string text = textOf(step);
  if (!text.starts_with(kOfflineLead) || !text.ends_with(kOfflineTail)) {
    return false;
  }
  bool named = false;
  for (size_t at = kOfflineLead.size(); at < text.size() - kOfflineTail.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(text[at])) || text[at + 1] != '#' ||
        (at > kOfflineLead.size() && text[at - 1] != ',')) {
      continue;
    }
    named = true;
    const int node = text[at] - '0';
    std::string said = nodeWord(node) + " was not online at the check: ";
    std::vector<size_t> lines;
    const auto report = online_.find(node);
    const auto answer = answers_.find(node);
    if (report == online_.end()) {
      said += "it never reported itself online (no OnlineCallback for it)";
    } else {
      said += "its latest online reports: ";
      for (const TraceLine& r : report->second) {
        said += r.signature() + " (" + lineWord(r.line) + "), ";
        lines.push_back(r.line);
      }
      said += std::string("the last saying ") +
              (intArg(report->second.back(), 1) == 1 ? "online" : "offline");
    }
    if (answer != answers_.end()) {
      said += ", and asked (" + lineWord(answer->second.line) + ") it answered " +
              (answer->second.out ? std::to_string(*answer->second.out) : "nothing");
      lines.push_back(answer->second.line);
    } else {
      said += ", and it was not asked";
    }
    said += "; " + saidWords(step);
    lines.push_back(step.line);
    findings_.add({Severity::Fault, "node-offline-at-check", node, said, lines},
                  "offline checks of " + nodeWord(node));
  }
  return named;
}

void OperatorDoctor::otherMessage(const TraceLine& step) {
  std::string said = saidWords(step);
  std::vector<size_t> lines = {step.line};
  if (click_) {
    said += " after " + clickWords(click_->step) +
            (click_->callsSince ? "" : ", with no call between them");
    lines.insert(lines.begin(), click_->step.line);
  }
  findings_.add({Severity::Note, "message", kBusLane, said, lines},
                "messages " + quotedText(textOf(step)));
}

}  // namespace halvane::tools
