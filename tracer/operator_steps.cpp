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

}  // namespace

trace::Record clickStep(int id, const std::string& caption,
                        const std::vector<ControlValue>& values) {
  std::vector<trace::Field> fields = {{"id", std::to_string(id)}, {"caption", caption}};
  for (const ControlValue& value : values) {
    std::string key = "c";
    key += std::to_string(value.id);
    fields.push_back({std::move(key), value.text});
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
