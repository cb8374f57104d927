// Writing trace lines: the one place their text is made.
#pragma once

#include "trace/trace_record.h"

namespace halvane::trace {

// "12.345" for 12345 us.
std::string formatMs(int64_t microseconds);
// A field value as written: bare when it can be, quoted and escaped when not.
std::string quoteValue(std::string_view value);
// " key=value key=value", each value as written.
std::string formatFields(const std::vector<Field>& fields);
// The whole line, without its newline.
std::string formatRecord(const Record& record);
// The line from its kind on, without time and thread.
std::string formatBody(const Record& record);
// A line whose body (from the kind on: "event rest node=1 ...") was made by its writer.
std::string formatLine(int64_t timeUs, unsigned long threadId, std::string_view body);

// Arguments and field values as shown.
std::string pointerArg(const void* pointer);
// A number with a fixed count of decimals (angles: 3).
std::string decimalArg(double value, int places);
// A number in its shortest form (20, 0.5, 1e+06).
std::string numberArg(double value);
std::string statusBytesArg(const unsigned char* bytes);

Record callbackRecord(std::string name, std::vector<std::string> args);
// "event NAME key=value ...".
Record eventRecord(std::string name, std::vector<Field> fields);
Record onlineCallbackRecord(int node, int state);
// Reads only the two status bytes the library guarantees.
Record statusCallbackRecord(int node, int kind, const unsigned char* bytes, int value);
Record spareCallbackRecord(int value);

}  // namespace halvane::trace
