#include "tools/halvane-trace/record_cursor.h"

#include <algorithm>

#include "trace/file_path.h"

namespace halvane::tools {

namespace {
constexpr size_t kPieceBytes = 1 << 20;
}

FileCursor::FileCursor(const std::string& path)
    : in_(trace::nativeFilePath(path), std::ios::binary) {
  opened_ = static_cast<bool>(in_);
  ended_ = !opened_;
  if (opened_) {
    in_.seekg(0, std::ios::end);
    const std::streamoff bytes = std::max<std::streamoff>(0, in_.tellg());
    size_ = static_cast<double>(std::max<std::streamoff>(1, bytes));
    in_.seekg(0);
    piece_.resize(kPieceBytes);
    char magic[sizeof trace::kRingMagic] = {};
    in_.read(magic, sizeof magic);
    in_.clear();
    in_.seekg(0);
    if (trace::isRingTrace(std::string_view(magic, sizeof magic))) {
      // One read of the size known: no growth that would hold the file twice on the way.
      whole_.resize(static_cast<size_t>(std::min<uint64_t>(bytes, whole_.max_size())));
      in_.read(whole_.data(), static_cast<std::streamsize>(whole_.size()));
      whole_.resize(static_cast<size_t>(in_.gcount()));
      ring_ = std::make_unique<trace::RingReader>(whole_);
      if (!ring_->problem().empty()) {
        ringError_ = trace::ReadError{1, ring_->problem(), false};
      }
    }
  }
}

const trace::Record* FileCursor::next() {
  if (ring_) {
    ringRecord_ = ring_->next();
    return ringRecord_ ? &*ringRecord_ : nullptr;
  }
  while (at_ == records_.size()) {
    if (!readPiece()) {
      return nullptr;
    }
  }
  return &records_[at_++];
}

// False at the end of the file or at the first corrupt line.
bool FileCursor::readPiece() {
  records_.clear();
  at_ = 0;
  if (ended_) {
    return false;
  }
  if (stream_.error() ||
      !(in_.read(piece_.data(), static_cast<std::streamsize>(piece_.size())) || in_.gcount() > 0)) {
    stream_.finish();
    ended_ = true;
    return false;
  }
  done_ += static_cast<double>(in_.gcount());
  records_ = stream_.append(std::string_view(piece_.data(), static_cast<size_t>(in_.gcount())));
  return true;
}

double FileCursor::fraction() const {
  return ring_ ? ring_->fraction() : std::min(1.0, done_ / size_);
}

}  // namespace halvane::tools
