#include "driver/driver_report.h"

#include <cstdio>

namespace halvane::e2e {
namespace {

DriverReport& report() {
  static DriverReport current;
  return current;
}

}  // namespace

void setDriverReport(DriverReport next) {
  if (next.fail) {
    report().fail = std::move(next.fail);
  }
  if (next.runName) {
    report().runName = std::move(next.runName);
  }
}

void reportFailure(const std::string& failure) {
  if (report().fail) {
    report().fail(failure);
    return;
  }
  std::fprintf(stderr, "%s\n", failure.c_str());
  std::fflush(stderr);
}

std::string currentRunName() {
  return report().runName ? report().runName() : std::string();
}

}  // namespace halvane::e2e
