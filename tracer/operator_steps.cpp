#include "tracer/operator_steps.h"

namespace halvane::tracer {
namespace {

trace::Record step(std::string name, std::vector<trace::Field> fields) {
  trace::Record r;
  r.kind = trace::Kind::Operator;
  r.name = std::move(name);
  r.fields = std::move(fields);
  return r;
}

// Where a value is cut: at most `limit` bytes, never inside a UTF-8 character.
size_t cutPoint(const std::string& text, size_t limit) {
  size_t at = limit;
  while (at > 0 && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
    --at;
  }
  return at;
}

}  // namespace

trace::Record clickStep(int id, const std::string& caption, const std::vector<ControlValue>& values,
                        std::optional<bool> enabled) {
  std::vector<trace::Field> fields = {{"id", std::to_string(id)}, {"caption", caption}};
  if (enabled) {
    fields.push_back({"enabled", *enabled ? "1" : "0"});
  }
  for (const ControlValue& value : values) {
    // Built in steps: GCC 12 warns falsely on "c" + std::to_string(...).
    std::string key = "c";
    key += std::to_string(value.id);
    if (value.text.size() <= kClickValueBytes) {
      fields.push_back({key, value.text});
      continue;
    }
    // A long paste would make a line no reader takes: its start, and how long it was.
    fields.push_back({key, value.text.substr(0, cutPoint(value.text, kClickValueBytes))});
    key += "_bytes";
    fields.push_back({key, std::to_string(value.text.size())});
  }
  return step("click", std::move(fields));
}

trace::Record selectStep(int id, int row, const std::string& text) {
  return step("select", {{"id", std::to_string(id)}, {"row", std::to_string(row)}, {"text", text}});
}

trace::Record messageShownStep(const std::string& caption, const std::string& text) {
  return step("message", {{"caption", caption}, {"text", text}});
}

trace::Record messageClosedStep(const std::string& text) {
  return step("message-closed", {{"text", text}});
}

trace::Record windowEndStep(const std::string& title) {
  return step(trace::kWindowEnd, {{"title", title}});
}

}  // namespace halvane::tracer
