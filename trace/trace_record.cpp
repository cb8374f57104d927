#include "trace/trace_record.h"

#include <algorithm>

#include <charconv>

namespace halvane::trace {

std::string Record::signature() const {
  std::string text = name + "(";
  for (size_t i = 0; i < args.size(); ++i) {
    text += i > 0 ? ", " : "";
    text += args[i];
  }
  return text + ")";
}

const std::string* Record::field(std::string_view key) const {
  for (const Field& f : fields) {
    if (f.key == key) {
      return &f.value;
    }
  }
  return nullptr;
}

std::optional<int64_t> Record::intField(std::string_view key) const {
  const std::string* value = field(key);
  int64_t number = 0;
  if (value == nullptr) {
    return std::nullopt;
  }
  const char* end = value->data() + value->size();
  const auto [at, error] = std::from_chars(value->data(), end, number);
  if (error != std::errc() || at != end) {
    return std::nullopt;
  }
  return number;
}

std::optional<int> intArg(const Record& record, size_t index) {
  if (index >= record.args.size()) {
    return std::nullopt;
  }
  int value = 0;
  const std::string& text = record.args[index];
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::array<unsigned char, 2>> statusBytesOf(std::string_view arg) {
  if (arg.size() != 7 || arg[0] != '[' || arg[3] != ' ' || arg[6] != ']') {
    return std::nullopt;
  }
  std::array<unsigned char, 2> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char* begin = arg.data() + 1 + 3 * i;
    const auto [end, error] = std::from_chars(begin, begin + 2, bytes[i], 16);
    if (error != std::errc() || end != begin + 2) {
      return std::nullopt;
    }
  }
  return bytes;
}

std::string_view kindName(Kind kind) {
  switch (kind) {
    case Kind::Call:
      return "call";
    case Kind::Callback:
      return "callback";
    case Kind::InFlight:
      return "inflight";
    case Kind::Event:
      return "event";
    case Kind::Operator:
      return "operator";
    case Kind::Header:
      return "header";
    case Kind::Crash:
      return "crash";
  }
  return "event";
}

bool recordsWindowEnd(const std::vector<Record>& records) {
  return std::any_of(records.rbegin(), records.rend(), [](const Record& r) {
    return r.kind == Kind::Operator && r.name == kWindowEnd;
  });
}

}  // namespace halvane::trace
