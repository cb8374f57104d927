// Any bytes as a trace: the reader must end in records or an error, and every record it accepts
// must be written back as a line that reads as the same record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "trace/ring_reader.h"
#include "trace/trace_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace halvane::trace;
  const ReadResult read = readAnyTrace(std::string_view(reinterpret_cast<const char*>(data), size));
  if (read.error && read.error->line == 0) {
    std::abort();
  }
  for (const Record& record : read.records) {
    std::string error;
    const auto again = parseLine(formatRecord(record), error);
    if (!again || !(*again == record)) {
      std::abort();
    }
  }
  return 0;
}
