// The main window's behaviour, apart from Win32: its initial contents, the connection control with
// the delayed node-online check, the eight command buttons with their interlock, and the replies
// of the worker. The Win32 dialog routes its messages here.
#pragma once

#include <array>
#include <memory>

#include "controller/controller_link.h"
#include "controller/motor_axis.h"
#include "motion/axis_parameter_table.h"
#include "ui/command_channel.h"
#include "ui/dialog_controls.h"
#include "ui/resource_ids.h"

namespace halvane {

inline constexpr int TIMER_ONLINE_CHECK = 1;
inline constexpr unsigned kOnlineCheckDelayMs = 3000;

// Always switched together, in this order.
inline constexpr std::array<int, 8> kCommandButtons = {
    IDC_SEND_POSITION1, IDC_SEND_FORWARD1, IDC_SEND_REVERSE1, IDC_SEND_POSITION2,
    IDC_SEND_FORWARD2,  IDC_SEND_REVERSE2, IDC_RESET1,        IDC_RESET2};

class CHalvaneDlg {
 public:
  // Creates the axis records for node 1 and node 2; the first loads the vendor library.
  explicit CHalvaneDlg(ControllerLink& link);
  ~CHalvaneDlg();
  CHalvaneDlg(const CHalvaneDlg&) = delete;
  CHalvaneDlg& operator=(const CHalvaneDlg&) = delete;

  AxisParameterTable& table() { return table_; }
  const AxisPair& axes() const { return axes_; }

  // Fills the controls, registers the library callbacks, starts the command channel and publishes
  // the axes to the callbacks. Both references must outlive this object.
  void onInitDialog(DialogControls& controls, CommandChannel& commands);

  void onOpen();
  void onClose();
  void onTimer(int timerId);

  void onSendPosition(int axis);
  void onSendForward(int axis);
  void onSendReverse(int axis);
  void onReset(int axis);
  // Routes a button click; false for a control that is not one of the ten buttons.
  bool onButtonClicked(int controlId);

  // A worker reply (1124-1132) with the configuration result it carries; other messages are
  // ignored.
  void onReply(unsigned message, int configurationResult);

  void ReadParameterControls();

 private:
  enum class Rotation { Forward, Reverse };
  void sendRotation(int axis, Rotation rotation);
  bool microstepUnchanged(int axis);
  void setCommandButtons(bool enabled);
  int32_t readNumber(int controlId) const;

  ControllerLink& link_;
  std::unique_ptr<CMotorAxis> firstAxis_;
  std::unique_ptr<CMotorAxis> secondAxis_;
  AxisPair axes_;
  AxisParameterTable table_;
  DialogControls* controls_ = nullptr;
  CommandChannel* commands_ = nullptr;
  bool workerRunning_ = false;
};

}  // namespace halvane
