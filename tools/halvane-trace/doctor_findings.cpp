#include "tools/halvane-trace/doctor_findings.h"

#include <algorithm>
#include <cstdio>

#include "trace/trace_writer.h"

namespace halvane::tools {

std::string_view severityName(Severity severity) {
  switch (severity) {
    case Severity::Fault:
      return "fault";
    case Severity::Warning:
      return "warning";
    case Severity::Note:
      return "note";
  }
  return "";
}

void FindingList::add(Finding finding, const std::string& group) {
  std::sort(finding.lines.begin(), finding.lines.end());
  finding.lines.erase(std::unique(finding.lines.begin(), finding.lines.end()), finding.lines.end());
  Group& same = groups_[group];
  if (++same.count <= kSameFindingsTold) {
    findings_.push_back(std::move(finding));
    return;
  }
  const size_t line = finding.lines.empty() ? 0 : finding.lines.front();
  same.more = std::move(finding);
  same.more.text = "and " + std::to_string(same.count - kSameFindingsTold) + " more " + group +
                   ", the last at " + lineWord(line);
  same.more.lines = {line};
}

std::vector<Finding> FindingList::take() {
  for (auto& [group, same] : groups_) {
    if (same.count > kSameFindingsTold) {
      findings_.push_back(std::move(same.more));
    }
  }
  groups_.clear();
  const auto firstLine = [](const Finding& f) { return f.lines.empty() ? 0 : f.lines.front(); };
  std::stable_sort(findings_.begin(), findings_.end(), [&](const Finding& a, const Finding& b) {
    return a.severity != b.severity ? a.severity < b.severity : firstLine(a) < firstLine(b);
  });
  return std::move(findings_);
}

std::string lineWord(size_t line) {
  return "line " + std::to_string(line);
}

std::string nodeWord(int node) {
  return "node " + std::to_string(node);
}

std::string durationWord(int64_t us) {
  char text[32];
  if (us < 1'000'000) {
    std::snprintf(text, sizeof text, "%.1f ms", static_cast<double>(us) / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(us) / 1'000'000);
  }
  return text;
}

std::string quotedText(std::string_view text) {
  std::string written = trace::quoteValue(text);
  return written.starts_with('"') ? written : "\"" + written + "\"";
}

std::string saidWords(const TraceLine& message) {
  const std::string* text = message.field("text");
  return "the program said " + quotedText(text != nullptr ? *text : "") + " (" +
         lineWord(message.line) + ")";
}

}  // namespace halvane::tools
