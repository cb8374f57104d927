// `halvane-trace timeline`: one self-contained HTML page with an inline SVG (no script, opens
// offline): a lane per node and one for the operator; calls as ticks (failures red), moves as
// bars coloured by how they ended, callbacks as marks, online spans, a time axis, idle gaps folded.
// Hovering shows each item's details. The page is made in two passes over the trace: the session
// model gives the time axis and the moves; the lines, read again, are drawn into pixel columns,
// each column one mark per kind that counts what it holds. So a trace of any length gives a page
// of a few MB at most.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/halvane-trace/session_model.h"

namespace halvane::tools {

class TimelinePage {
 public:
  explicit TimelinePage(const SessionModel& model);
  ~TimelinePage();
  // The second pass: every line of the trace, in any order.
  void add(const trace::Record& record);
  std::string html(const std::string& title) const;

 private:
  struct Marks;
  const SessionModel& model_;
  std::unique_ptr<Marks> marks_;
};

// Both passes over records held in memory.
std::string timelineHtml(const SessionModel& model, const std::vector<trace::Record>& records,
                         const std::string& title);

}  // namespace halvane::tools
