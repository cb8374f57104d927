// Any text an operator can type reads as a number without a crash, and a non-zero result is
// exactly the digits the text begins with (after blanks and a sign): never more than was typed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ui/whole_number.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const int32_t value = halvane::readWholeNumber(text);
  if (value == 0) {
    return 0;
  }
  size_t at = text.find_first_not_of(" \t\n\r\v\f");
  if (at == std::string_view::npos) {
    std::abort();  // blanks alone must read 0
  }
  const bool negative = text[at] == '-';
  if (text[at] == '-' || text[at] == '+') {
    ++at;
  }
  if ((value < 0) != negative) {
    std::abort();
  }
  const int64_t magnitude = value < 0 ? -int64_t{value} : int64_t{value};
  const std::string digits = std::to_string(magnitude);
  const std::string_view typed = text.substr(at);
  // The digits read must be the whole run of digits typed (leading zeros aside).
  const size_t runEnd = typed.find_first_not_of("0123456789");
  std::string_view run = typed.substr(0, runEnd);
  while (run.size() > 1 && run.front() == '0') {
    run.remove_prefix(1);
  }
  if (run != digits) {
    std::abort();
  }
  return 0;
}
