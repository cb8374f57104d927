#include "ui/halvane_dlg.h"

#include <cstdio>
#include <string>
#include <vector>

#include "controller/event_callbacks.h"
#include "motion/command_messages.h"
#include "ui/operator_texts.h"
#include "ui/whole_number.h"

namespace halvane {
namespace {

constexpr int kAdapterInitialRow = 8;
constexpr int kBusSpeedInitialRow = 4;
constexpr int kAccelerationItems = 9;
constexpr int kAccelerationInitialRow = 5;
constexpr int kMicrostepInitialRow = 5;
constexpr int kInitMode = 2;
constexpr int kInitChannel = 1;

constexpr int secondAxis(int firstAxisControl) {
  return firstAxisControl + IDC_SECOND_AXIS_OFFSET;
}
constexpr int forAxis(int firstAxisControl, int axis) {
  return axis == 0 ? firstAxisControl : secondAxis(firstAxisControl);
}

std::string offlineText(const std::vector<int>& missingNodes) {
  std::string text(texts::kOfflineLead);
  for (int node : missingNodes) {
    char part[16];
    std::snprintf(part, sizeof part, texts::kOfflineNodeFormat, node);
    text += part;
  }
  text.pop_back();  // the comma after the last node
  text += texts::kOfflineTail;
  return text;
}

}  // namespace

CHalvaneDlg::CHalvaneDlg(ControllerLink& link)
    : link_(link),
      firstAxis_(std::make_unique<CMotorAxis>(1, link)),
      secondAxis_(std::make_unique<CMotorAxis>(2, link)),
      axes_{firstAxis_.get(), secondAxis_.get()} {}

CHalvaneDlg::~CHalvaneDlg() {
  if (controls_ != nullptr) {
    publishCallbackAxes(nullptr);
  }
}

void CHalvaneDlg::onInitDialog(DialogControls& controls, CommandChannel& commands) {
  controls_ = &controls;
  commands_ = &commands;

  controls.fillList(IDC_ADAPTER_LIST, texts::kAdapters, kAdapterInitialRow);
  controls.fillList(IDC_BAUD_LIST, texts::kBusSpeeds, kBusSpeedInitialRow);
  std::vector<std::string> numbers;
  for (int value = 0; value < kAccelerationItems; ++value) {
    numbers.push_back(std::to_string(value));
  }
  const std::vector<std::string_view> accelerations(numbers.begin(), numbers.end());
  for (int axis = 0; axis < kAxisCount; ++axis) {
    controls.fillList(forAxis(IDC_ACCEL1, axis), accelerations, kAccelerationInitialRow);
  }
  for (int axis = 0; axis < kAxisCount; ++axis) {
    controls.fillList(forAxis(IDC_MICROSTEP1, axis), texts::kMicrosteps, kMicrostepInitialRow);
  }
  for (int axis = 0; axis < kAxisCount; ++axis) {
    controls.fillList(forAxis(IDC_POSITION1, axis), texts::kPositions, 0);
  }
  for (int id : {IDC_START_SPEED1, IDC_START_SPEED2}) {
    controls.setText(id, texts::kStartSpeed);
  }
  for (int id : {IDC_MAX_SPEED1, IDC_MAX_SPEED2}) {
    controls.setText(id, texts::kMaxSpeed);
  }
  for (int id : {IDC_FORWARD_ANGLE1, IDC_FORWARD_ANGLE2, IDC_REVERSE_ANGLE1, IDC_REVERSE_ANGLE2}) {
    controls.setText(id, texts::kAngle);
  }

  registerCallbacks(link_);
  workerRunning_ = commands.start();
  if (!workerRunning_) {
    // The command buttons stay disabled: no reply can ever come to enable them.
    controls.showMessage(texts::kNoWorker);
  }
  publishCallbackAxes(&axes_);
}

void CHalvaneDlg::onOpen() {
  const int adapter = controls_->listSelection(IDC_ADAPTER_LIST);
  if (link_.PCAN_Init(adapter, kInitMode, kInitChannel) == CallOutcome::Failed) {
    controls_->showMessage(texts::kInitFail);
    return;
  }
  const int busSpeed = controls_->listSelection(IDC_BAUD_LIST);
  if (link_.PCAN_OpenPort(busSpeed) == CallOutcome::Failed) {
    controls_->showMessage(texts::kOpenPortFail);
    return;
  }
  controls_->enable(IDC_OPEN, false);
  controls_->enable(IDC_CLOSE, true);
  controls_->armTimer(TIMER_ONLINE_CHECK, kOnlineCheckDelayMs);
}

void CHalvaneDlg::onClose() {
  link_.PCAN_ClosePort();
  controls_->enable(IDC_ADAPTER_LIST, true);
  controls_->enable(IDC_BAUD_LIST, true);
  controls_->enable(IDC_OPEN, true);
  controls_->enable(IDC_CLOSE, false);
  setCommandButtons(false);
}

void CHalvaneDlg::onTimer(int timerId) {
  if (timerId != TIMER_ONLINE_CHECK) {
    return;
  }
  // Stopped first, so no tick can run the check again from inside its own message box.
  controls_->stopTimer(TIMER_ONLINE_CHECK);

  std::vector<int> missingNodes;
  for (CMotorAxis* axis : {axes_.first, axes_.second}) {
    int online = 0;
    if (axis->isOnline()) {
      link_.PCAN_IsSlaveOnline(axis->nodeId(), &online);  // only the value written counts
    }
    if (online == 0) {
      missingNodes.push_back(axis->nodeId());
    }
  }
  if (!missingNodes.empty()) {
    controls_->showMessage(offlineText(missingNodes));
    return;
  }
  ReadParameterControls();
  table_.takeOverRequested();
  commands_->post(WM_AXIS_CONFIGURE, nullptr);
}

void CHalvaneDlg::onSendPosition(int axis) {
  table_.setSlot(axis, controls_->listSelection(forAxis(IDC_POSITION1, axis)));
  ReadParameterControls();
  if (!microstepUnchanged(axis)) {
    return;
  }
  setCommandButtons(false);
  commands_->post(axis == 0 ? WM_AXIS1_GOTO : WM_AXIS2_GOTO, axes_.at(axis));
}

void CHalvaneDlg::onSendForward(int axis) {
  sendRotation(axis, Rotation::Forward);
}

void CHalvaneDlg::onSendReverse(int axis) {
  sendRotation(axis, Rotation::Reverse);
}

void CHalvaneDlg::sendRotation(int axis, Rotation rotation) {
  ReadParameterControls();
  if (!microstepUnchanged(axis)) {
    return;
  }
  const bool forward = rotation == Rotation::Forward;
  const int32_t degrees =
      readNumber(forAxis(forward ? IDC_FORWARD_ANGLE1 : IDC_REVERSE_ANGLE1, axis));
  // The direction is the button's; a negative angle would turn the wheel the other way.
  if (degrees < 0) {
    controls_->showMessage(texts::kNegativeAngle);
    return;
  }
  setCommandButtons(false);
  if (forward) {
    table_.setForwardAngle(axis, degrees);
    commands_->post(axis == 0 ? WM_AXIS1_FORWARD : WM_AXIS2_FORWARD, axes_.at(axis));
  } else {
    table_.setReverseAngle(axis, degrees);
    commands_->post(axis == 0 ? WM_AXIS1_REVERSE : WM_AXIS2_REVERSE, axes_.at(axis));
  }
}

void CHalvaneDlg::onReset(int axis) {
  setCommandButtons(false);
  ReadParameterControls();
  commands_->post(axis == 0 ? WM_AXIS1_HOME : WM_AXIS2_HOME, axes_.at(axis));
}

bool CHalvaneDlg::onButtonClicked(int controlId) {
  if (controlId == IDC_OPEN) {
    onOpen();
    return true;
  }
  if (controlId == IDC_CLOSE) {
    onClose();
    return true;
  }
  struct Route {
    int firstAxisButton;
    int secondAxisButton;
    void (CHalvaneDlg::*handler)(int axis);
  };
  static constexpr Route kRoutes[] = {
      {IDC_SEND_POSITION1, IDC_SEND_POSITION2, &CHalvaneDlg::onSendPosition},
      {IDC_SEND_FORWARD1, IDC_SEND_FORWARD2, &CHalvaneDlg::onSendForward},
      {IDC_SEND_REVERSE1, IDC_SEND_REVERSE2, &CHalvaneDlg::onSendReverse},
      {IDC_RESET1, IDC_RESET2, &CHalvaneDlg::onReset},
  };
  for (const Route& route : kRoutes) {
    if (controlId == route.firstAxisButton || controlId == route.secondAxisButton) {
      (this->*route.handler)(controlId == route.firstAxisButton ? 0 : 1);
      return true;
    }
  }
  return false;
}

void CHalvaneDlg::onReply(unsigned message, int configurationResult) {
  if (message == WM_AXIS_CONFIGURE) {
    setCommandButtons(configurationResult != 0);
  } else if (isCommandMessage(message)) {
    setCommandButtons(true);
  }
}

void CHalvaneDlg::ReadParameterControls() {
  for (int axis = 0; axis < kAxisCount; ++axis) {
    AxisParameters values;
    values.acceleration = readNumber(forAxis(IDC_ACCEL1, axis));
    values.microstep = readNumber(forAxis(IDC_MICROSTEP1, axis));
    values.startSpeed = readNumber(forAxis(IDC_START_SPEED1, axis));
    values.maxSpeed = readNumber(forAxis(IDC_MAX_SPEED1, axis));
    table_.setRequested(axis, values);
  }
}

bool CHalvaneDlg::microstepUnchanged(int axis) {
  if (table_.requested(axis).microstep == table_.applied(axis).microstep) {
    return true;
  }
  controls_->showMessage(texts::kMicrostepChanged);
  return false;
}

void CHalvaneDlg::setCommandButtons(bool enabled) {
  controls_->enableGroup(kCommandButtons, enabled && workerRunning_);
}

int32_t CHalvaneDlg::readNumber(int controlId) const {
  return readWholeNumber(controls_->text(controlId));
}

}  // namespace halvane
