// What the main window shows the operator at run time, once, in UTF-8. The captions of the
// dialogs themselves live in the resource script.
#pragma once

#include <array>
#include <string_view>

namespace halvane::texts {

// Row order is what the library receives as adapter and bus-speed index.
inline constexpr std::array<std::string_view, 9> kAdapters = {
    "蓝马电子A1+",    "乐的USB-CAN",      "YL9100",           "IXXAT",          "广成USBCAN-I",
    "周立功USBCAN-I", "周立功USBCAN-E-U", "周立功CANET-TCPC", "创芯CANalyst-II"};
inline constexpr std::array<std::string_view, 9> kBusSpeeds = {"10Kbps",  "20Kbps",  "50Kbps",
                                                               "100Kbps", "125Kbps", "250Kbps",
                                                               "500Kbps", "800Kbps", "1000Kbps"};
inline constexpr std::array<std::string_view, 9> kMicrosteps = {"0",  "2",  "4",   "8",  "16",
                                                                "32", "64", "128", "256"};
inline constexpr std::array<std::string_view, 6> kPositions = {"位置1", "位置2", "位置3",
                                                               "位置4", "位置5", "位置6"};

inline constexpr std::string_view kStartSpeed = "600";
inline constexpr std::string_view kMaxSpeed = "4000";
inline constexpr std::string_view kAngle = "180";

inline constexpr std::string_view kInitFail = "PCAN_Init fail!\n";
inline constexpr std::string_view kOpenPortFail = "PCAN_OpenPort fail!\n";
inline constexpr std::string_view kMicrostepChanged = "修改细分后转盘需要重新复位！";

// "节点" + "1#," / "2#," for each missing node, last comma dropped, + "未上线".
inline constexpr std::string_view kOfflineLead = "节点";
inline constexpr char kOfflineNodeFormat[] = "%d#,";
inline constexpr std::string_view kOfflineTail = "未上线";

// Our own, for what was left unguarded.
inline constexpr std::string_view kNegativeAngle = "转动角度不能为负！";
inline constexpr std::string_view kNoWorker = "无法启动运动线程，转盘命令不可用！";

}  // namespace halvane::texts
