#include "sim/trace_format.h"

#include <cstdio>

namespace halvane::sim {

std::string formatMs(Duration time) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3f",
                std::chrono::duration<double, std::milli>(time).count());
  return buffer;
}

std::string formatCall(const Request& request, const Answer& answer) {
  std::string text = "call ";
  text += exportName(request.id);
  text += '(';
  for (int i = 0; i < request.argCount; ++i) {
    const Arg& arg = request.args[static_cast<size_t>(i)];
    if (i > 0) {
      text += ", ";
    }
    text += arg.pointer ? (arg.null ? "null" : "&") : std::to_string(arg.value);
  }
  text += ") -> " + std::to_string(answer.result);
  if (answer.out && request.out != nullptr) {
    text += " out=" + std::to_string(*answer.out);
  }
  text += " bus=" + formatMs(answer.busTime);
  return text;
}

std::string formatOnlineCallback(int node, int state) {
  return "callback OnlineCallback(" + std::to_string(node) + ", " + std::to_string(state) + ")";
}

std::string formatStatusCallback(int node, const unsigned char* bytes) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "callback StatusCallback(%d, 0, [%02X %02X], 0)", node,
                bytes[0], bytes[1]);
  return buffer;
}

std::string traceLine(Duration time, unsigned long threadId, const std::string& text) {
  return formatMs(time) + " " + std::to_string(threadId) + " " + text;
}

}  // namespace halvane::sim
