// `halvane-trace doctor`: what went wrong in a session, in plain words, most serious first, each
// pointing at its trace lines. Read in one pass in the order of the records' times (the session
// model's), holding per node one move and per thread one failed call, and the findings.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/doctor_findings.h"
#include "trace/trace_reader.h"

namespace halvane::tools {

class Doctor {
 public:
  Doctor();
  ~Doctor();
  // Records in the order of the trace's lines.
  void add(const trace::Record& record);
  // The findings, and the session model they were read beside (for how the trace ends).
  struct Result {
    std::vector<Finding> findings;
    SessionModel model;
  };
  // `readError`: where the reading of the file stopped, if it did before the file's end.
  Result finish(const std::optional<trace::ReadError>& readError);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The findings of a trace in memory (and of a file read up to `readError`).
std::vector<Finding> diagnose(const std::vector<trace::Record>& records,
                              const std::optional<trace::ReadError>& readError = std::nullopt);

// The findings as the command prints them, and how the trace ends where that is no finding.
std::string doctorText(const std::vector<Finding>& findings, const SessionModel& model);

}  // namespace halvane::tools
