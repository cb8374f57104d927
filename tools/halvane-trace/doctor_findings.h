// What `halvane-trace doctor` finds in a trace, and the few words every finding is told in.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/halvane-trace/session_model.h"

namespace halvane::tools {

// Most serious first: a fault cost the operator a command or a node; a warning is the library or
// the trace not behaving as Halvane relies on; a note is worth a look.
enum class Severity { Fault, Warning, Note };

struct Finding {
  Severity severity = Severity::Note;
  std::string kind;  // "rest-report-lost", "failed-call", ...: one name per kind of finding
  int node = kBusLane;
  std::string text;
  std::vector<size_t> lines;  // the trace lines it points at
};

std::string_view severityName(Severity severity);

// A long trace may show the same fault thousands of times: of each kind (per node, per export)
// the first few are told in full, and one more finding counts the rest.
class FindingList {
 public:
  // `group` names what the findings of one group share, for the count ("rest reports lost on
  // node 1").
  void add(Finding finding, const std::string& group);
  // Most serious first; of equal severity, by the first line each points at.
  std::vector<Finding> take();

 private:
  struct Group {
    size_t count = 0;
    Finding more;  // the finding that counts those not told
  };
  std::vector<Finding> findings_;
  std::map<std::string, Group> groups_;
};

inline constexpr size_t kSameFindingsTold = 5;

// "line 12".
std::string lineWord(size_t line);
// "node 1".
std::string nodeWord(int node);
// "250.1 ms", "2.29 s".
std::string durationWord(int64_t us);
// The program's own text as the trace shows it, in quotes: "\"SetDir fail!\\n\"".
std::string quotedText(std::string_view text);
// What a message box said, and where: "the program said \"SetDir fail!\\n\" (line 30)".
std::string saidWords(const TraceLine& message);

}  // namespace halvane::tools
