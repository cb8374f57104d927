// How a control's text reads as a signed whole number, as the operator knows it from the dialogs
// of this platform: leading blanks, an optional sign, decimal digits; reading stops at the first
// other character ("12abc" reads 12). Text that holds no number, and a number beyond signed
// 32 bits, read 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace halvane {

int32_t readWholeNumber(std::string_view utf8Text);

}  // namespace halvane
