// The view's own texts, once, in UTF-8; they reach Win32 through the wide calls.
#pragma once

#include <array>
#include <string_view>

namespace halvane::simview::texts {

inline constexpr char kTitle[] = "模拟转台";
inline constexpr std::array<std::string_view, 6> kSlots = {"位置1", "位置2", "位置3",
                                                           "位置4", "位置5", "位置6"};
inline constexpr char kWheel[] = "转盘";
inline constexpr char kBusClosed[] = "总线：关闭";
inline constexpr char kBusOpen[] = "总线：打开";  // followed by " <n> kbit/s"
inline constexpr char kOnline[] = "在线";
inline constexpr char kOffline[] = "离线";
inline constexpr char kHeldOff[] = "离线（已拔下）";
inline constexpr char kMoving[] = "转动中";
inline constexpr char kAtRest[] = "静止";
inline constexpr char kStepsPerSecond[] = "步/秒";
inline constexpr char kCounter[] = "步数计数：";
inline constexpr char kAngle[] = "真实角度：";
inline constexpr char kMicrostep[] = "细分：";
inline constexpr char kExtStop[] = "外部停止：";
inline constexpr char kExtStopOff[] = "关";
inline constexpr char kExtStopArmed[] = "已启用";
inline constexpr char kExtStopLatched[] = "已触发";
inline constexpr char kSwitchHidden[] = "原点开关已隐藏";
inline constexpr char kBetweenSlots[] = "不在位置上";
inline constexpr char kRecentCalls[] = "最近调用：";
inline constexpr char kHome[] = "原点";

// Fault controls.
inline constexpr char kTakeOff[] = "拔下总线";
inline constexpr char kPutBack[] = "接回总线";
inline constexpr char kLoseRest[] = "丢失下次到位报告";
inline constexpr char kHideSwitch[] = "隐藏原点开关";
inline constexpr char kShowSwitch[] = "恢复原点开关";
inline constexpr char kTurnBack[] = "手转 -5°";
inline constexpr char kTurnOn[] = "手转 +5°";
inline constexpr char kFailNext[] = "下次调用失败";

}  // namespace halvane::simview::texts
