// UTF-16 from Windows to the trace's UTF-8 and back.
#pragma once

#include <string>

namespace halvane::tracer {

std::string utf8(const std::wstring& wide);
std::wstring utf16(const std::string& text);

}  // namespace halvane::tracer
