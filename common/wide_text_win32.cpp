#include "common/wide_text.h"

#include <windows.h>

namespace halvane {

std::wstring widen(std::string_view utf8Text) {
  if (utf8Text.empty()) {
    return {};
  }
  const int inLength = static_cast<int>(utf8Text.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), inLength, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Text.data(), inLength, wide.data(), length);
  return wide;
}

std::string narrow(std::wstring_view utf16Text) {
  if (utf16Text.empty()) {
    return {};
  }
  const int inLength = static_cast<int>(utf16Text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, utf16Text.data(), inLength, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16Text.data(), inLength, utf8.data(), length, nullptr,
                      nullptr);
  return utf8;
}

}  // namespace halvane
