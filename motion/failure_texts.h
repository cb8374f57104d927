// The texts the worker shows when a controller call fails, exactly as operators know them.
#pragma once

namespace halvane::texts {

inline constexpr char kSetAccelFail[] = "SetAccel fail!\n";
inline constexpr char kSetDecelFail[] = "SetDecel fail!\n";
inline constexpr char kSetMicroStepFail[] = "SetMicroStep fail!\n";
inline constexpr char kSetStartSpeedFail[] = "SetStartSpeed fail!\n";
inline constexpr char kSetStopSpeedFail[] = "SetStopSpeed fail!\n";
inline constexpr char kSetMaxSpeedFail[] = "SetMaxSpeed fail!\n";
inline constexpr char kGetGpioValueFail[] = "GetGPIOValue fail!";
inline constexpr char kSetExtStopTriggerFail[] = "SetExtStopTrigger fail!\n";
inline constexpr char kSetExtStopEnableFail[] = "SetExtStopEnable fail!";
inline constexpr char kClearExtStopFlagFail[] = "ClearExtStopFlag fail!\n";
inline constexpr char kSetWorkModeFail[] = "SetWorkMode fail!\n";
inline constexpr char kStartRelStepFail[] = "StartRelStep fail!\n";
inline constexpr char kGetControlStatusFail[] = "GetControlStatus fail!\n";
inline constexpr char kHomeSwitchFailure[] = "Failure of home switch!!\n";
inline constexpr char kSetMotorPosFail[] = "SetMotorPos fail!\n";
inline constexpr char kGetMotorPosFail[] = "GetMotorPos fail!\n";
inline constexpr char kSetDirFail[] = "SetDir fail!\n";

// Our own, for what the original left unguarded.
inline constexpr char kHomingTimeout[] = "Homing timeout: the motor did not come to rest!\n";
inline constexpr char kMicroStepZero[] = "MicroStep is 0: slot move refused!\n";
inline constexpr char kAngleOutOfRange[] = "Angle out of range!\n";
inline constexpr char kMicroStepOutOfRange[] = "MicroStep out of range!\n";
inline constexpr char kSlotOutOfRange[] = "Position slot out of range!\n";

}  // namespace halvane::texts
