// The operator's steps as trace lines: what was clicked (with the parameter controls' values at
// that moment), what was selected, which message boxes appeared with what text and when they went,
// and the window's end. The Win32 side observes them; this makes the lines.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "trace/trace_record.h"

namespace halvane::tracer {

struct ControlValue {
  int id = 0;
  std::string text;
};

// An edit's value in a click line is cut to this many bytes; `c<id>_bytes=` then gives its
// whole length.
inline constexpr size_t kClickValueBytes = 256;

// `enabled`: whether the button was enabled when its click was handled (a click on a disabled one
// reaches no handler's work); nothing where no button was clicked (Enter, Esc).
trace::Record clickStep(int id, const std::string& caption, const std::vector<ControlValue>& values,
                        std::optional<bool> enabled = std::nullopt);
trace::Record selectStep(int id, int row, const std::string& text);
trace::Record messageShownStep(const std::string& caption, const std::string& text);
trace::Record messageClosedStep(const std::string& text);
trace::Record windowEndStep(const std::string& title);

}  // namespace halvane::tracer
