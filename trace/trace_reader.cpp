#include "trace/trace_reader.h"

#include <charconv>

namespace halvane::trace {
namespace {

constexpr size_t kMaxLine = 64 * 1024;  // longer is no trace line; a corrupt or foreign file

bool isNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

// A cursor over one line; each read either consumes what it names or fails with a reason.
class LineCursor {
 public:
  explicit LineCursor(std::string_view line) : rest_(line) {}

  bool atEnd() const { return rest_.empty(); }
  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }

  bool fail(std::string what) {
    if (error_.empty()) {
      error_ = std::move(what);
    }
    return false;
  }

  bool literal(std::string_view text) {
    if (rest_.substr(0, text.size()) != text) {
      return fail("expected \"" + std::string(text) + "\"");
    }
    rest_.remove_prefix(text.size());
    return true;
  }
  bool peek(std::string_view text) const { return rest_.substr(0, text.size()) == text; }

  std::string_view word() {
    size_t n = 0;
    while (n < rest_.size() && isNameChar(rest_[n])) {
      ++n;
    }
    const std::string_view w = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return w;
  }

  template <class Int>
  bool integer(Int& value, std::string_view what) {
    const char* begin = rest_.data();
    const auto [end, ec] = std::from_chars(begin, begin + rest_.size(), value);
    if (ec != std::errc()) {
      return fail("bad " + std::string(what));
    }
    rest_.remove_prefix(static_cast<size_t>(end - begin));
    return true;
  }

  // "12.345" (up to three decimals) as microseconds.
  bool milliseconds(int64_t& us, std::string_view what) {
    int64_t whole = 0;
    const bool negative = peek("-");
    if (!integer(whole, what) || whole > INT64_MAX / 1000 - 1 || whole < INT64_MIN / 1000 + 1) {
      return fail("bad " + std::string(what));
    }
    int64_t fraction = 0;
    if (peek(".")) {
      rest_.remove_prefix(1);
      int digits = 0;
      while (!rest_.empty() && rest_[0] >= '0' && rest_[0] <= '9') {
        if (digits < 3) {
          fraction = fraction * 10 + (rest_[0] - '0');
        }
        ++digits;
        rest_.remove_prefix(1);
      }
      if (digits == 0) {
        return fail("bad " + std::string(what));
      }
      for (; digits < 3; ++digits) {
        fraction *= 10;
      }
    }
    us = whole * 1000 + (negative ? -fraction : fraction);
    return true;
  }

  // The argument list after the name: "(1, &, [00 08])".
  bool arguments(std::vector<std::string>& args) {
    if (!literal("(")) {
      return false;
    }
    const size_t close = rest_.find(')');
    if (close == std::string_view::npos) {
      return fail("unclosed argument list");
    }
    std::string_view inside = rest_.substr(0, close);
    rest_.remove_prefix(close + 1);
    while (!inside.empty()) {
      const size_t comma = inside.find(',');
      std::string_view arg = inside.substr(0, comma);
      if (arg.empty() || arg.front() == ' ' || arg.back() == ' ') {
        return fail("bad argument list");
      }
      args.emplace_back(arg);
      if (comma == std::string_view::npos) {
        break;
      }
      inside.remove_prefix(comma + 1);
      if (inside.substr(0, 1) != " ") {
        return fail("bad argument list");
      }
      inside.remove_prefix(1);
      if (inside.empty()) {
        return fail("bad argument list");
      }
    }
    return true;
  }

  bool value(std::string& out) {
    if (!peek("\"")) {
      const size_t end = rest_.find(' ');
      out = std::string(rest_.substr(0, end));
      rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
      return true;
    }
    rest_.remove_prefix(1);
    while (!rest_.empty()) {
      const char c = rest_[0];
      rest_.remove_prefix(1);
      if (c == '"') {
        return true;
      }
      if (c != '\\') {
        out += c;
        continue;
      }
      if (rest_.empty()) {
        break;
      }
      const char e = rest_[0];
      rest_.remove_prefix(1);
      switch (e) {
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case '"':
        case '\\':
          out += e;
          break;
        case 'x': {
          unsigned byte = 0;
          const auto [end, ec] = std::from_chars(
              rest_.data(), rest_.data() + std::min<size_t>(2, rest_.size()), byte, 16);
          if (ec != std::errc() || end != rest_.data() + 2) {
            return fail("bad escape in a quoted value");
          }
          out += static_cast<char>(byte);
          rest_.remove_prefix(2);
          break;
        }
        default:
          return fail("bad escape in a quoted value");
      }
    }
    return fail("unclosed quoted value");
  }

  bool field(Field& f) {
    const std::string_view key = word();
    if (key.empty() || !peek("=")) {
      return fail("expected key=value");
    }
    rest_.remove_prefix(1);
    f.key = std::string(key);
    return value(f.value);
  }

 private:
  std::string_view rest_;
  std::string error_;
};

std::optional<Kind> kindFromName(std::string_view name) {
  for (const Kind k : {Kind::Call, Kind::Callback, Kind::InFlight, Kind::Event, Kind::Operator,
                       Kind::Header, Kind::Crash}) {
    if (kindName(k) == name) {
      return k;
    }
  }
  return std::nullopt;
}

// After a call's argument list: "missing" or "-> result", then the times and out-value.
bool callTail(LineCursor& in, Record& r) {
  if (in.peek(" missing")) {
    in.literal(" missing");
    r.missing = true;
  } else if (in.peek(" -> ")) {
    int result = 0;
    in.literal(" -> ");
    if (!in.integer(result, "result")) {
      return false;
    }
    r.result = result;
  } else if (r.kind == Kind::Call) {
    return in.fail("expected \" -> <result>\" or \" missing\"");
  }
  while (!in.atEnd()) {
    Field f;
    if (!in.literal(" ") || !in.field(f)) {
      return false;
    }
    LineCursor number(f.value);
    int64_t us = 0;
    int out = 0;
    if (f.key == "out") {
      if (!number.integer(out, "out-value") || !number.atEnd()) {
        return in.fail("bad out-value");
      }
      r.out = out;
    } else if (f.key == "bus" || f.key == "took") {
      if (!number.milliseconds(us, f.key) || !number.atEnd()) {
        return in.fail("bad " + f.key + " time");
      }
      (f.key == "bus" ? r.busUs : r.tookUs) = us;
    } else {
      r.fields.push_back(std::move(f));
    }
  }
  return true;
}

}  // namespace

std::optional<Record> parseLine(std::string_view line, std::string& error) {
  if (line.size() > kMaxLine) {
    error = "line too long";
    return std::nullopt;
  }
  LineCursor in(line);
  Record r;
  unsigned long thread = 0;
  if (!in.milliseconds(r.timeUs, "time") || !in.literal(" ") || !in.integer(thread, "thread id") ||
      !in.literal(" ")) {
    error = in.error() + " (not a trace line)";
    return std::nullopt;
  }
  r.threadId = thread;
  const std::string_view kindWord = in.word();
  const auto kind = kindFromName(kindWord);
  if (!kind) {
    error = "unknown kind \"" + std::string(kindWord) + "\"";
    return std::nullopt;
  }
  r.kind = *kind;
  bool ok = true;
  switch (r.kind) {
    case Kind::Call:
    case Kind::Callback:
    case Kind::InFlight:
      ok = in.literal(" ");
      r.name = std::string(in.word());
      ok = ok && (!r.name.empty() || in.fail("expected a name")) && in.arguments(r.args) &&
           callTail(in, r);
      break;
    case Kind::Event:
    case Kind::Operator:
      ok = in.literal(" ");
      r.name = std::string(in.word());
      ok = ok && (!r.name.empty() || in.fail("expected a name"));
      [[fallthrough]];
    case Kind::Header:
    case Kind::Crash:
      while (ok && !in.atEnd()) {
        Field f;
        ok = in.literal(" ") && in.field(f);
        r.fields.push_back(std::move(f));
      }
      break;
  }
  if (!ok) {
    error = in.error();
    return std::nullopt;
  }
  return r;
}

std::optional<Record> TraceStream::take(std::string_view line) {
  ++lineNumber_;
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  std::string message;
  auto record = parseLine(line, message);
  if (!record) {
    error_ = ReadError{lineNumber_, message, false};
  }
  return record;
}

std::vector<Record> TraceStream::append(std::string_view bytes) {
  std::vector<Record> records;
  if (error_) {
    return records;
  }
  partial_.append(bytes);
  size_t start = 0;
  for (size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string_view line = std::string_view(partial_).substr(start, end - start);
    if (line.find('\0') != std::string_view::npos) {
      endAtNul();
      return records;
    }
    auto record = take(line);
    if (!record) {
      partial_.clear();
      return records;
    }
    records.push_back(std::move(*record));
  }
  partial_.erase(0, start);
  if (partial_.find('\0') != std::string::npos) {
    endAtNul();
  } else if (partial_.size() > kMaxLine) {
    error_ = ReadError{lineNumber_ + 1, "line too long", false};
    partial_.clear();
  }
  return records;
}

void TraceStream::endAtNul() {
  error_ =
      ReadError{lineNumber_ + 1, "NUL bytes where a line should be (the trace was cut off)", true};
  partial_.clear();
}

void TraceStream::finish() {
  if (!error_ && !partial_.empty()) {
    std::string message;
    ++lineNumber_;
    const bool parses = parseLine(partial_, message).has_value();
    error_ = ReadError{lineNumber_,
                       parses ? "the last line has no end (the trace was cut off)"
                              : "the last line is cut off: " + message,
                       true};
  }
  partial_.clear();
}

ReadResult readTrace(std::string_view text) {
  TraceStream stream;
  ReadResult result;
  result.records = stream.append(text);
  stream.finish();
  result.error = stream.error();
  return result;
}

std::string describe(const ReadError& error) {
  return "line " + std::to_string(error.line) + ": " + error.message;
}

}  // namespace halvane::trace
