// Any bytes as a lab's trace, read as halvane-trace reads it: the summary, doctor's findings and
// the library's profile with its settings must come out of whatever the reader accepts, without
// a crash, a hang or a read out of bounds.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "tools/halvane-trace/doctor.h"
#include "tools/halvane-trace/library_profile.h"
#include "tools/halvane-trace/profile_settings.h"
#include "tools/halvane-trace/session_model.h"
#include "tools/halvane-trace/summary.h"
#include "trace/ring_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvane;
  const trace::ReadResult read =
      trace::readAnyTrace(std::string_view(reinterpret_cast<const char*>(data), size));
  const tools::SessionModel model = tools::buildModel(read.records);
  const std::vector<tools::Finding> findings = tools::diagnose(read.records, read.error);
  const tools::LibraryProfile profile = tools::buildProfile(read.records);
  const std::string text = tools::summaryText(model) + tools::doctorText(findings, model) +
                           tools::profileTable(profile) +
                           tools::settingsText(tools::simSettings(profile));
  // A finding points at a line the trace has, or at the one where reading it stopped.
  const size_t lastLine = std::max(read.records.size(), read.error ? read.error->line : 0);
  for (const tools::Finding& f : findings) {
    for (size_t line : f.lines) {
      if (line == 0 || line > lastLine) {
        std::abort();
      }
    }
  }
  return text.empty() ? 1 : 0;
}
