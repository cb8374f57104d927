#include "tests/soak/trace_follower.h"

namespace halvane::soak {

TraceFollower::~TraceFollower() {
  if (file_ != INVALID_HANDLE_VALUE) {
    CloseHandle(file_);
  }
}

size_t TraceFollower::poll() {
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
  while (ReadFile(file_, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    partial_.append(buffer, read);
  }
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = partial_.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(std::move(line));
  }
  partial_.erase(0, start);
  const auto parsed = e2e::parseTrace(lines);
  entries_.insert(entries_.end(), parsed.begin(), parsed.end());
  return parsed.size();
}

}  // namespace halvane::soak
