// The one place where UTF-8 texts become the UTF-16 of the wide Win32 calls, and back.
#pragma once

#include <string>
#include <string_view>

namespace halvane {

std::wstring widen(std::string_view utf8Text);
std::string narrow(std::wstring_view utf16Text);

}  // namespace halvane
