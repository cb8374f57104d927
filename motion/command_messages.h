// The protocol between the window and the motion worker: a command is posted with its number and
// axis record; the worker answers with the same number and the configuration result.
#pragma once

namespace halvane {

inline constexpr unsigned kWmUser = 0x0400;
inline constexpr unsigned WM_AXIS_CONFIGURE = kWmUser + 100;  // 1124
inline constexpr unsigned WM_AXIS1_HOME = kWmUser + 101;
inline constexpr unsigned WM_AXIS2_HOME = kWmUser + 102;
inline constexpr unsigned WM_AXIS1_GOTO = kWmUser + 103;
inline constexpr unsigned WM_AXIS2_GOTO = kWmUser + 104;
inline constexpr unsigned WM_AXIS1_FORWARD = kWmUser + 105;
inline constexpr unsigned WM_AXIS2_FORWARD = kWmUser + 106;
inline constexpr unsigned WM_AXIS1_REVERSE = kWmUser + 107;
inline constexpr unsigned WM_AXIS2_REVERSE = kWmUser + 108;  // 1132

inline constexpr bool isCommandMessage(unsigned message) {
  return message >= WM_AXIS_CONFIGURE && message <= WM_AXIS2_REVERSE;
}

}  // namespace halvane
