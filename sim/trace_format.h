// The trace's line formats, one line per export call, per callback and per model event:
//   <ms> <thread id> call <Export>(<args>) -> <result> [out=<v>] bus=<ms>
//   <ms> <thread id> callback <Name>(<args>)
//   <ms> <thread id> event <what> node=<n> [key=value ...]
// <ms> is milliseconds since the library loaded, with three decimals; pointer arguments show as &
// (null ones as null); StatusCallback's status bytes show as the first two, in hex: [00 08].
#pragma once

#include <array>
#include <string>

#include "sim/request.h"

namespace halvane::sim {

std::string formatMs(Duration time);
std::string formatCall(const Request& request, const Answer& answer);
std::string formatOnlineCallback(int node, int state);
std::string formatStatusCallback(int node, const unsigned char* bytes);
std::string traceLine(Duration time, unsigned long threadId, const std::string& text);

}  // namespace halvane::sim
