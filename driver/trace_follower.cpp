#include "driver/trace_follower.h"

namespace halvane::e2e {

TraceFollower::~TraceFollower() {
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
  }
}

size_t TraceFollower::poll(const std::function<void(const trace::Record&)>& use) {
  if (file_ == INVALID_HANDLE_VALUE) {
    file_ = CreateFileW(path_.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE) {
      return 0;  // the library has not written it yet
    }
  }
  char buffer[65536];
  DWORD read = 0;
  size_t count = 0;
  while (ReadFile(file_, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    for (const trace::Record& record : stream_.append(std::string_view(buffer, read))) {
      use(record);
      ++count;
    }
  }
  return count;
}

}  // namespace halvane::e2e
