// The core wired to the fake library as the program wires it to the real one: a link, two axis
// records for nodes 1 and 2, the parameter table and a recorder for failure messages.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "controller/controller_link.h"
#include "controller/event_callbacks.h"
#include "controller/motor_axis.h"
#include "motion/axis_parameter_table.h"
#include "motion/motion_context.h"
#include "tests/support/fake_controller_library.h"
#include "tests/support/recorders.h"

namespace halvane::testing {

// Timings short enough for tests, with the same shape as the program's.
inline HomingTimings quickHomingTimings() {
  HomingTimings timings;
  timings.positionPollInterval = std::chrono::milliseconds(5);
  timings.statusPollInterval = std::chrono::milliseconds(10);
  timings.stillForRest = std::chrono::milliseconds(20);
  timings.minimumBound = std::chrono::milliseconds(400);
  timings.boundPerStepMs = 0.0;
  timings.settlePause = std::chrono::milliseconds(1);
  return timings;
}

class FakeRig {
 public:
  explicit FakeRig(bool loadable = true) : output_(std::tmpfile()) {
    library.setLoadable(loadable);
    link = std::make_unique<ControllerLink>(library, output_);
    first = std::make_unique<CMotorAxis>(1, *link);
    second = std::make_unique<CMotorAxis>(2, *link);
    context = std::make_unique<MotionContext>(MotionContext{
        *link, table, alerts, AxisPair{first.get(), second.get()}, quickHomingTimings()});
    publishCallbackAxes(&context->axes);
    registerCallbacks(*link);
    library.clearCalls();
  }
  ~FakeRig() {
    library.joinCallbackThreads();  // no callback may outlive the records it acts on
    publishCallbackAxes(nullptr);
    std::fclose(output_);
  }

  // Both axes with these values requested and applied, as after a successful configuration.
  void configure(const AxisParameters& values) {
    table.setRequested(0, values);
    table.setRequested(1, values);
    table.takeOverRequested();
  }

  // What the link wrote to standard output.
  std::string output() const {
    std::fflush(output_);
    std::rewind(output_);
    std::string text;
    for (int c = std::fgetc(output_); c != EOF; c = std::fgetc(output_)) {
      text.push_back(static_cast<char>(c));
    }
    return text;
  }

  CMotorAxis& axis(int index) { return index == 0 ? *first : *second; }

  FakeControllerLibrary library;
  std::unique_ptr<ControllerLink> link;
  std::unique_ptr<CMotorAxis> first;
  std::unique_ptr<CMotorAxis> second;
  AxisParameterTable table;
  RecordingAlerts alerts;
  std::unique_ptr<MotionContext> context;

 private:
  std::FILE* output_;
};

}  // namespace halvane::testing
