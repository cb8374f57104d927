// The doctor's reading of the operator's steps: clicks that did nothing, nodes found offline, and
// the program's messages no failed call or homing explains. Fed the records in the order of their
// times.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/doctor_findings.h"

namespace halvane::tools {

class OperatorDoctor {
 public:
  explicit OperatorDoctor(FindingList& findings) : findings_(findings) {}
  void call(const TraceLine& call);
  void callback(const TraceLine& callback);
  // A click or the window's end; true where it starts something new (not a message box's own
  // button).
  bool boundary(const TraceLine& step);
  void messageShown(const TraceLine& step);
  void messageClosed(const TraceLine& step);
  // The online check's message naming the nodes it found offline: true where it is one.
  bool offlineMessage(const TraceLine& step);
  // A message nothing else explains.
  void otherMessage(const TraceLine& step);

 private:
  struct Click {
    TraceLine step;
    bool answered = false;  // a call or a message came after it
    bool callsSince = false;
  };
  std::string clickWords(const TraceLine& click) const;

  FindingList& findings_;
  std::map<unsigned long, int> openBoxes_;        // per thread
  std::optional<Click> click_;                    // the latest click outside a message box
  std::map<int, std::vector<TraceLine>> online_;  // per node: its latest few online reports
  std::map<int, TraceLine> answers_;  // per node: its online answer since the latest click
};

}  // namespace halvane::tools
