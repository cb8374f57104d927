// The vendor library's exports and callbacks, written once. Every other place that needs the list
// (the program's binding, the unit tests' fake library, the simulated rig's DLL) expands it.
#pragma once

// The vendor's exports and callbacks use the Windows standard calling convention (the callee
// removes the arguments). It differs from the compilers' default only on 32-bit x86 Windows, named
// _M_IX86 by Microsoft's compiler and __i386__ by GCC and Clang; the check below the types stops a
// build there that came out with the default.
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#define HALVANE_STDCALL __stdcall
#else
#define HALVANE_STDCALL
#endif

namespace halvane {

// Callbacks the library calls on a thread of its own; each returns 0.
using OnlineCallbackFn = int(HALVANE_STDCALL*)(int node, int state);
using SpareCallbackFn = int(HALVANE_STDCALL*)(int value);
using StatusCallbackFn = int(HALVANE_STDCALL*)(int node, int kind, unsigned char* status,
                                               int value);

}  // namespace halvane

// X(name, parameters, arguments): every export returns int, 0 for success.
// Pointer parameters of type int* are out-values the library writes.
#define HALVANE_CONTROLLER_EXPORTS(X)                                          \
  X(PCAN_Init, (int adapter, int mode, int channel), (adapter, mode, channel)) \
  X(PCAN_OpenPort, (int speedIndex), (speedIndex))                             \
  X(PCAN_ClosePort, (), ())                                                    \
  X(PCAN_SetEventCallback,                                                     \
    (halvane::OnlineCallbackFn online, halvane::SpareCallbackFn spare,         \
     halvane::StatusCallbackFn status),                                        \
    (online, spare, status))                                                   \
  X(PCAN_IsSlaveOnline, (int node, int* online), (node, online))               \
  X(PCAN_SetAccel, (int node, int value), (node, value))                       \
  X(PCAN_SetDecel, (int node, int value), (node, value))                       \
  X(PCAN_SetMicroStep, (int node, int microstep), (node, microstep))           \
  X(PCAN_SetStartSpeed, (int node, int speed), (node, speed))                  \
  X(PCAN_SetStopSpeed, (int node, int speed), (node, speed))                   \
  X(PCAN_SetMaxSpeed, (int node, int speed), (node, speed))                    \
  X(PCAN_SetDir, (int node, int forward), (node, forward))                     \
  X(PCAN_SetWorkMode, (int node, int mode), (node, mode))                      \
  X(PCAN_StartRelStep, (int node, int steps), (node, steps))                   \
  X(PCAN_GetMotorPos, (int node, int* position), (node, position))             \
  X(PCAN_SetMotorPos, (int node, int position), (node, position))              \
  X(PCAN_GetGPIOValue, (int node, int* inputs), (node, inputs))                \
  X(PCAN_SetExtStopTrigger, (int node, int trigger), (node, trigger))          \
  X(PCAN_SetExtStopEnable, (int node, int enable), (node, enable))             \
  X(PCAN_ClearExtStopFlag, (int node, int mask), (node, mask))                 \
  X(PCAN_GetControlStatus, (int node, int* status), (node, status))

namespace halvane {

// Function-pointer types, one per export: PCAN_Init_fn and so on.
#define HALVANE_DECLARE_EXPORT_FN(name, params, args) \
  using name##_fn = int(HALVANE_STDCALL*) params;
HALVANE_CONTROLLER_EXPORTS(HALVANE_DECLARE_EXPORT_FN)
#undef HALVANE_DECLARE_EXPORT_FN

#ifdef _WIN32
// Every Windows compiler knows __stdcall and ignores it where the target has one convention, so
// this holds on any Windows target and fails only where the types above lost the convention: a
// build error instead of a stack corrupted on the first call into the library.
namespace convention_check {
template <typename A, typename B>
inline constexpr bool kSameType = false;
template <typename A>
inline constexpr bool kSameType<A, A> = true;

static_assert(kSameType<OnlineCallbackFn, int(__stdcall*)(int, int)>);
static_assert(kSameType<SpareCallbackFn, int(__stdcall*)(int)>);
static_assert(kSameType<StatusCallbackFn, int(__stdcall*)(int, int, unsigned char*, int)>);
#define HALVANE_CHECK_EXPORT_FN(name, params, args) \
  static_assert(kSameType<name##_fn, int(__stdcall*) params>, #name " must be __stdcall");
HALVANE_CONTROLLER_EXPORTS(HALVANE_CHECK_EXPORT_FN)
#undef HALVANE_CHECK_EXPORT_FN
}  // namespace convention_check
#endif

// The names, in table order.
inline constexpr const char* kControllerExportNames[] = {
#define HALVANE_EXPORT_NAME(name, params, args) #name,
    HALVANE_CONTROLLER_EXPORTS(HALVANE_EXPORT_NAME)
#undef HALVANE_EXPORT_NAME
};
inline constexpr int kControllerExportCount =
    sizeof(kControllerExportNames) / sizeof(kControllerExportNames[0]);
static_assert(kControllerExportCount == 21);

inline constexpr const char kControllerLibraryName[] = "PUSICANControl.dll";

// Bits the system relies on.
inline constexpr int kInputOffHomeSwitch = 0x80;      // PCAN_GetGPIOValue
inline constexpr int kControlStoppedBySwitch = 0x01;  // PCAN_GetControlStatus
inline constexpr unsigned char kStatusMoving = 0x08;  // StatusCallback, second status byte
inline constexpr int kStatusKindMotion = 0;
inline constexpr int kNodeOnlineState = 1;

}  // namespace halvane
