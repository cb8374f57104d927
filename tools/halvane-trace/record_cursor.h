// A trace read forwards a record at a time, so that no command holds a whole file: a file is read
// a piece at a time, and a trace already in memory is walked in place.
#pragma once

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trace/ring_reader.h"
#include "trace/trace_reader.h"

namespace halvane::tools {

class RecordCursor {
 public:
  virtual ~RecordCursor() = default;
  // The next record, valid until the next call; nothing at the end.
  virtual const trace::Record* next() = 0;
};

class VectorCursor final : public RecordCursor {
 public:
  explicit VectorCursor(const std::vector<trace::Record>& records) : records_(records) {}
  const trace::Record* next() override {
    return at_ < records_.size() ? &records_[at_++] : nullptr;
  }

 private:
  const std::vector<trace::Record>& records_;
  size_t at_ = 0;
};

// `path` is UTF-8. A cut-off or corrupt file is read up to its fault; `error()` then says where. A
// ring trace (the field tracer's) is read whole and told in the order it was written.
class FileCursor final : public RecordCursor {
 public:
  explicit FileCursor(const std::string& path);
  bool opened() const { return opened_; }
  const trace::Record* next() override;
  // The share of the file read so far, 0 to 1.
  double fraction() const;
  const std::optional<trace::ReadError>& error() const {
    return ring_ ? ringError_ : stream_.error();
  }

 private:
  bool readPiece();

  std::ifstream in_;
  bool opened_ = false;
  bool ended_ = false;
  double size_ = 1;
  double done_ = 0;
  trace::TraceStream stream_;
  std::vector<char> piece_;
  std::vector<trace::Record> records_;  // of the last piece
  size_t at_ = 0;
  std::string whole_;  // a ring trace
  std::unique_ptr<trace::RingReader> ring_;
  std::optional<trace::ReadError> ringError_;
  std::optional<trace::Record> ringRecord_;
};

}  // namespace halvane::tools
