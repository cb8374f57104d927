// One call of an export as the rig sees it: its arguments in order (integers, and pointers shown
// only as present or null), the out-value pointer, the callbacks of PCAN_SetEventCallback, and the
// answer. Requests are packed from an export's own arguments, whatever the export.
#pragma once

#include <array>
#include <optional>

#include "common/controller_exports.h"
#include "sim/bus_timing.h"
#include "sim/export_id.h"

namespace halvane::sim {

// Whether an argument lies in [low, high], as the rig checks what a call may ask for.
inline constexpr bool inRange(int value, int low, int high) {
  return value >= low && value <= high;
}

struct Arg {
  bool pointer = false;
  bool null = false;
  int value = 0;
};

struct EventCallbacks {
  OnlineCallbackFn online = nullptr;
  SpareCallbackFn spare = nullptr;
  StatusCallbackFn status = nullptr;
};

struct Request {
  ExportId id = ExportId::PCAN_Init;
  std::array<Arg, 3> args{};
  int argCount = 0;
  int* out = nullptr;  // the export's int* parameter, if it has one
  EventCallbacks callbacks;
  unsigned long threadId = 0;

  int intArg(int index) const { return args[static_cast<size_t>(index)].value; }
};

struct Answer {
  int result = 0;
  std::optional<int> out;  // written through Request::out by the calling thread
  Duration busTime{};
};

// Result codes; 0 is success.
inline constexpr int kOk = 0;
inline constexpr int kErrNotOpen = 1;   // adapter not initialised or bus not open
inline constexpr int kErrRefused = 2;   // an argument the adapter or controller does not accept
inline constexpr int kErrNoAnswer = 3;  // the node is not on the bus (or not yet online)
inline constexpr int kErrBusy = 4;      // a move is running, or the bus is open already
inline constexpr int kErrExtStopLatched = 5;  // a move while the external-stop flag is set
inline constexpr int kErrInjected = 9;        // HALVANE_SIM_FAIL

inline void addArg(Request& r, int value) {
  r.args[static_cast<size_t>(r.argCount++)] = {false, false, value};
}
inline void addArg(Request& r, int* out) {
  r.args[static_cast<size_t>(r.argCount++)] = {true, out == nullptr, 0};
  r.out = out;
}
inline void addArg(Request& r, OnlineCallbackFn fn) {
  r.args[static_cast<size_t>(r.argCount++)] = {true, fn == nullptr, 0};
  r.callbacks.online = fn;
}
inline void addArg(Request& r, SpareCallbackFn fn) {
  r.args[static_cast<size_t>(r.argCount++)] = {true, fn == nullptr, 0};
  r.callbacks.spare = fn;
}
inline void addArg(Request& r, StatusCallbackFn fn) {
  r.args[static_cast<size_t>(r.argCount++)] = {true, fn == nullptr, 0};
  r.callbacks.status = fn;
}

template <class... Args>
Request makeRequest(ExportId id, Args... args) {
  static_assert(sizeof...(Args) <= 3);
  Request request;
  request.id = id;
  (addArg(request, args), ...);
  return request;
}

// RequestMaker{id} (a, b) packs a request from an export table row's parenthesised arguments.
struct RequestMaker {
  ExportId id;
  template <class... Args>
  Request operator()(Args... args) const {
    return makeRequest(id, args...);
  }
};

}  // namespace halvane::sim
