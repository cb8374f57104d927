#include "ui/whole_number.h"

#include <limits>

namespace halvane {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

int32_t readWholeNumber(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && isBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  if (at == text.size() || !isDigit(text[at])) {
    return 0;
  }
  // Magnitude in 64 bits; once past what 32 bits can hold the result is 0 however long it goes.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t magnitude = 0;
  for (; at < text.size() && isDigit(text[at]); ++at) {
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > kLimit) {
      return 0;
    }
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) {
    return 0;
  }
  return static_cast<int32_t>(value);
}

}  // namespace halvane
