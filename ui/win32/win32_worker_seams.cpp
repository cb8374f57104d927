#include "ui/win32/win32_worker_seams.h"

#include "common/wide_text.h"

namespace halvane {

void Win32AlertSink::attach(HWND owner, std::wstring caption) {
  caption_ = std::move(caption);
  owner_.store(owner);
}

void Win32AlertSink::alert(std::string_view utf8Text) {
  MessageBoxW(owner_.load(), widen(utf8Text).c_str(), caption_.c_str(), MB_OK);
}

void Win32ReplySink::reply(unsigned message, int configurationResult) {
  SendMessageW(window_.load(), message, 0, static_cast<LPARAM>(configurationResult));
}

}  // namespace halvane
