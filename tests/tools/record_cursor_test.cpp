#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tools/halvane-trace/record_cursor.h"
#include "tools/halvane-trace/trace_diff.h"
#include "trace/ring_writer.h"
#include "trace/trace_writer.h"

namespace halvane::tools {
namespace {

std::string writeTrace(const std::string& name, const std::string& text) {
  const std::string path = testing::TempDir() + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// A trace in a folder named in Chinese, as a lab keeps it, opens by its UTF-8 path whatever the
// system's code page.
TEST(RecordCursor, OpensAPathInAnyLanguage) {
  const std::filesystem::path folder =
      std::filesystem::path(testing::TempDir()) / std::filesystem::path(u8"衰减记录");
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / std::filesystem::path(u8"会话.trace");
  std::ofstream(file, std::ios::binary) << "1.000 4 call PCAN_SetAccel(1, 5) -> 0 took=1.000\r\n";
  const std::u8string utf8 = file.u8string();

  FileCursor cursor(std::string(utf8.begin(), utf8.end()));
  ASSERT_TRUE(cursor.opened());
  const trace::Record* record = cursor.next();
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->signature(), "PCAN_SetAccel(1, 5)");
}

// A trace longer than the pieces a file is read in, so that lines straddle their borders; the
// second copy differs in one call near its end and was cut off by a power loss.
TEST(RecordCursor, ReadsAFileAcrossItsPiecesUpToACutOffEnd) {
  std::string whole;
  for (int i = 0; whole.size() < 3u << 20; ++i) {
    whole += std::to_string(i) + ".000 4 call PCAN_SetAccel(1, " + std::to_string(i % 7) +
             ") -> 0 took=1.000\r\n";
  }
  const size_t lines = static_cast<size_t>(std::count(whole.begin(), whole.end(), '\n'));
  std::string changed = whole;
  const size_t last = changed.rfind("PCAN_SetAccel(1, ") + 17;
  changed[last] = changed[last] == '9' ? '8' : '9';
  const std::string first = writeTrace("cursor-whole.trace", whole);
  const std::string second = writeTrace("cursor-changed.trace",
                                        changed + "77.000 4 call PCAN_Se" + std::string(512, '\0'));

  FileCursor cursor(second);
  size_t read = 0;
  while (cursor.next()) {
    ++read;
  }
  EXPECT_EQ(read, lines);
  ASSERT_TRUE(cursor.error());
  EXPECT_TRUE(cursor.error()->cutOff);

  const auto opener = [](const std::string& path) -> TraceOpener {
    return [path] { return std::make_unique<FileCursor>(path); };
  };
  const TraceDiff diff = diffTraces(opener(first), opener(second));
  EXPECT_FALSE(diff.same);
  EXPECT_NE(diff.report.find("at the " + std::to_string(lines) + ". of " + std::to_string(lines) +
                             " and " + std::to_string(lines)),
            std::string::npos)
      << diff.report;
  EXPECT_TRUE(diffTraces(opener(first), opener(first)).same);
}

// The field tracer's file reads as the text trace it stands for: the tools compare one with the
// other as equals, and a file that is neither says so.
TEST(RecordCursor, ReadsTheTracersRingFileAsTheTextItHolds) {
  std::vector<uint64_t> memory(16384);
  trace::RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), memory.size() * 8, 1'000'000, 0));
  std::string text;
  for (int i = 0; i < 300; ++i) {
    trace::CallBody call{};
    call.exportIndex = 5;  // PCAN_SetAccel
    call.args[0] = 1;
    call.args[1] = i;
    call.startTicks = 1000 * i;
    call.beginClaim = static_cast<uint32_t>(ring.callBegin(4, call.startTicks, call));
    ring.callEnd(4, call.startTicks + 1000, call);
    text += std::to_string(i) + ".000 4 call PCAN_SetAccel(1, " + std::to_string(i) +
            ") -> 0 took=1.000\r\n";
  }
  const std::string ringPath =
      writeTrace("cursor-ring.trace",
                 std::string(reinterpret_cast<const char*>(memory.data()), memory.size() * 8));
  const std::string textPath = writeTrace("cursor-text.trace", text);
  FileCursor cursor(ringPath);
  std::string lines;
  std::vector<double> fractions;  // after each tenth of the calls
  for (int i = 1; const trace::Record* r = cursor.next(); ++i) {
    lines += trace::formatRecord(*r) + "\r\n";
    if (i % 30 == 0) {
      fractions.push_back(cursor.fraction());
    }
  }
  EXPECT_FALSE(cursor.error());
  EXPECT_EQ(lines, text);
  // How far the reading has got is told by the records read, not by the bytes loaded at once.
  ASSERT_EQ(fractions.size(), 10u);
  for (size_t i = 0; i < fractions.size(); ++i) {
    EXPECT_NEAR(fractions[i], 0.1 * static_cast<double>(i + 1), 0.01) << i;
  }
  const auto opener = [](const std::string& path) -> TraceOpener {
    return [path] { return std::make_unique<FileCursor>(path); };
  };
  EXPECT_TRUE(diffTraces(opener(ringPath), opener(textPath)).same);

  FileCursor damaged(writeTrace("cursor-damaged.trace", "HALVTRC1 and nothing more"));
  EXPECT_EQ(damaged.next(), nullptr);
  ASSERT_TRUE(damaged.error());
  EXPECT_FALSE(damaged.error()->cutOff);
}

}  // namespace
}  // namespace halvane::tools
