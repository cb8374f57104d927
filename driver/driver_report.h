// Where the driver says what went wrong, and whose run a session's folder is named after. The
// end-to-end cases hand both to their test framework; the benchmarks, the soak run and the recorded
// sessions keep the defaults: standard error, and no name (the folder is then "session").
#pragma once

#include <functional>
#include <string>

namespace halvane::e2e {

struct DriverReport {
  std::function<void(const std::string& failure)> fail;
  std::function<std::string()> runName;
};

// Set once, before the first session; an empty member keeps its default.
void setDriverReport(DriverReport report);

void reportFailure(const std::string& failure);
std::string currentRunName();

}  // namespace halvane::e2e
