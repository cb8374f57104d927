// A trace file written a line at a time: each line and its end go to the system in one write,
// under one lock, before writeLine returns. No buffer of ours, so nothing written is lost when the
// process dies, and no runtime stream lock that a thread ended at exit could leave held.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "trace/line_sink.h"

namespace halvane::trace {

class TraceFile final : public LineSink {
 public:
  // Creates (truncates) the file at a UTF-8 path; nothing, and the reason, when it cannot.
  static std::unique_ptr<TraceFile> create(const std::string& path, std::string& error);
  // Takes over a file open for writing (a HANDLE on Windows, a FILE* elsewhere); an invalid one
  // makes a sink that drops every line.
  explicit TraceFile(void* nativeFile);
  ~TraceFile() override;
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  void writeLine(std::string_view line) override;
  void writeLineAtExit(std::string_view line) override;

 private:
  void put(std::string_view line);
  // The platform's part.
  static bool isOpen(void* file);
  static void writeWhole(void* file, std::string_view text);
  static void close(void* file);

  void* file_;
  std::mutex mutex_;
};

}  // namespace halvane::trace
