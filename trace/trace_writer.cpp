#include "trace/trace_writer.h"

#include <cstdio>

namespace halvane::trace {
namespace {

bool needsQuotes(std::string_view value) {
  if (value.empty()) {
    return true;
  }
  for (const char c : value) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= ' ' || c == '"' || c == '\\' || u == 0x7F) {
      return true;
    }
  }
  return false;
}

void appendFields(std::string& line, const std::vector<Field>& fields) {
  for (const Field& f : fields) {
    line += ' ';
    line += f.key;
    line += '=';
    line += quoteValue(f.value);
  }
}

}  // namespace

std::string formatMs(int64_t microseconds) {
  const bool negative = microseconds < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(microseconds) : static_cast<uint64_t>(microseconds);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%s%llu.%03llu", negative ? "-" : "",
                static_cast<unsigned long long>(magnitude / 1000),
                static_cast<unsigned long long>(magnitude % 1000));
  return buffer;
}

std::string quoteValue(std::string_view value) {
  if (!needsQuotes(value)) {
    return std::string(value);
  }
  std::string text = "\"";
  for (const char c : value) {
    switch (c) {
      case '"':
        text += "\\\"";
        break;
      case '\\':
        text += "\\\\";
        break;
      case '\n':
        text += "\\n";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\t':
        text += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < ' ' || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
          text += escape;
        } else {
          text += c;
        }
    }
  }
  return text + "\"";
}

std::string formatFields(const std::vector<Field>& fields) {
  std::string text;
  appendFields(text, fields);
  return text;
}

std::string formatLine(int64_t timeUs, unsigned long threadId, std::string_view body) {
  std::string line = formatMs(timeUs);
  line += ' ';
  line += std::to_string(threadId);
  line += ' ';
  line += body;
  return line;
}

std::string formatBody(const Record& r) {
  std::string body(kindName(r.kind));
  switch (r.kind) {
    case Kind::Call:
    case Kind::Callback:
    case Kind::InFlight:
      body += ' ';
      body += r.signature();
      if (r.missing) {
        body += " missing";
      } else if (r.result) {
        body += " -> " + std::to_string(*r.result);
      }
      if (r.out) {
        body += " out=" + std::to_string(*r.out);
      }
      if (r.busUs) {
        body += " bus=" + formatMs(*r.busUs);
      }
      if (r.tookUs) {
        body += " took=" + formatMs(*r.tookUs);
      }
      break;
    case Kind::Event:
    case Kind::Operator:
      body += ' ';
      body += r.name;
      break;
    case Kind::Header:
    case Kind::Crash:
      break;
  }
  appendFields(body, r.fields);
  return body;
}

std::string formatRecord(const Record& r) {
  return formatLine(r.timeUs, r.threadId, formatBody(r));
}

std::string pointerArg(const void* pointer) {
  return pointer == nullptr ? "null" : "&";
}

std::string statusBytesArg(const unsigned char* bytes) {
  if (bytes == nullptr) {
    return "null";
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "[%02X %02X]", bytes[0], bytes[1]);
  return buffer;
}

std::string decimalArg(double value, int places) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", places, value);
  return buffer;
}

std::string numberArg(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

Record eventRecord(std::string name, std::vector<Field> fields) {
  Record r;
  r.kind = Kind::Event;
  r.name = std::move(name);
  r.fields = std::move(fields);
  return r;
}

Record callbackRecord(std::string name, std::vector<std::string> args) {
  Record r;
  r.kind = Kind::Callback;
  r.name = std::move(name);
  r.args = std::move(args);
  return r;
}

Record onlineCallbackRecord(int node, int state) {
  return callbackRecord("OnlineCallback", {std::to_string(node), std::to_string(state)});
}

Record statusCallbackRecord(int node, int kind, const unsigned char* bytes, int value) {
  return callbackRecord("StatusCallback", {std::to_string(node), std::to_string(kind),
                                           statusBytesArg(bytes), std::to_string(value)});
}

Record spareCallbackRecord(int value) {
  return callbackRecord("SpareCallback", {std::to_string(value)});
}

}  // namespace halvane::trace
