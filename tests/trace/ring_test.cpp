// The field tracer's trace file: written by any thread without a lock, read back whole in the
// order written, bounded however long the run, and readable after its writer was killed at any
// moment.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "common/export_names.h"
#include "trace/ring_reader.h"
#include "trace/ring_writer.h"
#include "trace/trace_writer.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace halvane::trace {
namespace {

using ::testing::ElementsAre;

constexpr int kSetAccel = *controllerExportIndex("PCAN_SetAccel");

std::string_view bytesOf(const std::vector<uint64_t>& memory) {
  return {reinterpret_cast<const char*>(memory.data()), memory.size() * sizeof(uint64_t)};
}

CallBody setAccel(int node, int value) {
  CallBody call{};
  call.exportIndex = kSetAccel;
  call.args[0] = node;
  call.args[1] = value;
  return call;
}

// One call traced as the stand-in does: its begin, then its end naming it.
void tracedCall(RingWriter& ring, uint32_t thread, int64_t ticks, int node, int value) {
  CallBody call = setAccel(node, value);
  call.startTicks = ticks;
  call.beginClaim = static_cast<uint32_t>(ring.callBegin(thread, ticks, call));
  ring.callEnd(thread, ticks + 2, call);
}

std::vector<int> valuesOf(const std::vector<Record>& records) {
  std::vector<int> values;
  for (const Record& r : records) {
    if (r.kind == Kind::Call && r.name == "PCAN_SetAccel") {
      values.push_back(std::stoi(r.args[1]));
    }
  }
  return values;
}

TEST(RingTrace, RecordsOfEveryKindReadBackInTheOrderWritten) {
  std::vector<uint64_t> memory(8192);
  RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), memory.size() * 8, 1000, 500));
  ring.text(3, 500, "header tracer=2.0 trace=\"C:\\\\traces\\\\halvane-000001.trace\"");
  CallBody call = setAccel(1, 5);
  call.startTicks = 1500;
  call.beginClaim = static_cast<uint32_t>(ring.callBegin(4, 1500, call));
  ring.callback(5, 1501, {CallbackId::Status, {0x01, 0x08}, 0, {1, 0, 7}});
  ring.callEnd(4, 1502, call);
  const std::string longValue(3000, 'x');
  ring.text(3, 2000, "operator click id=1013 c1006=" + longValue);
  ring.text(3, 2001, "event too-long v=" + std::string(20000, 'y'));
  const ReadResult read = readAnyTrace(bytesOf(memory));
  ASSERT_FALSE(read.error);
  std::vector<std::string> lines;
  for (const Record& r : read.records) {
    lines.push_back(formatRecord(r));
  }
  EXPECT_THAT(
      lines, ElementsAre("0.000 3 header tracer=2.0 trace=\"C:\\\\traces\\\\halvane-000001.trace\"",
                         "1001.000 5 callback StatusCallback(1, 0, [01 08], 7)",
                         "1000.000 4 call PCAN_SetAccel(1, 5) -> 0 took=2.000",
                         "1500.000 3 operator click id=1013 c1006=" + longValue,
                         "1501.000 3 event record-too-long bytes=20017"));
}

// A record that begins in the kept start and runs on into the ring reads whole until the ring
// overwrites its end; then it is counted as cut off, never read half.
TEST(RingTrace, ARecordAcrossTheEndOfTheStartReadsWholeOrNotAtAll) {
  constexpr size_t kBytes = 64 * 1024;
  const RingShape shape = ringShapeFor(kBytes);
  std::vector<uint64_t> memory(kBytes / 8);
  RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), kBytes, 1'000'000, 0));
  for (uint64_t i = 0; i + 1 < shape.startSlots; ++i) {
    ring.text(1, 0, "event a");
  }
  const std::string across = "event across v=" + std::string(150, 'x');
  ring.text(1, 0, across);
  ReadResult read = readRingTrace(bytesOf(memory));
  ASSERT_FALSE(read.records.empty());
  EXPECT_EQ(formatBody(read.records.back()), across);
  for (uint64_t i = 0; i < shape.ringSlots; ++i) {
    ring.text(1, 0, "event b");
  }
  read = readRingTrace(bytesOf(memory));
  const auto named = [&](std::string_view name) {
    return std::count_if(read.records.begin(), read.records.end(),
                         [&](const Record& r) { return r.name == name; });
  };
  EXPECT_EQ(named("across"), 0);
  EXPECT_EQ(named("records-cut-off"), 1);
  EXPECT_EQ(named("a"), static_cast<long>(shape.startSlots - 1));
}

// A run a hundred times longer than the file holds: the file keeps its start, its latest records
// without a gap, and says how many were overwritten between them.
TEST(RingTrace, ALongRunKeepsItsStartItsEndAndTheCountDropped) {
  constexpr size_t kBytes = 64 * 1024;
  const RingShape shape = ringShapeFor(kBytes);
  const uint64_t capacity = shape.startSlots + shape.ringSlots;
  std::vector<uint64_t> memory(kBytes / 8 + 64, 0x5A5A5A5A5A5A5A5Aull);  // and a guard beyond
  RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), kBytes, 1'000'000, 0));
  const int calls = static_cast<int>(100 * capacity / 2);
  for (int i = 0; i < calls; ++i) {
    tracedCall(ring, 1, i, 1, i);
  }
  for (size_t i = kBytes / 8; i < memory.size(); ++i) {
    ASSERT_EQ(memory[i], 0x5A5A5A5A5A5A5A5Aull) << "written past the file's end";
  }
  const ReadResult read = readRingTrace(bytesOf(memory));
  ASSERT_FALSE(read.error);
  const std::vector<int> values = valuesOf(read.records);
  const int kept = static_cast<int>(values.size());
  ASSERT_GT(kept, static_cast<int>(capacity / 2) - 4);
  const int first = static_cast<int>(shape.startSlots / 2);
  for (int i = 0; i < first; ++i) {
    ASSERT_EQ(values[i], i);
  }
  const int latest = kept - first;
  for (int i = 0; i < latest; ++i) {
    ASSERT_EQ(values[first + i], calls - latest + i);
  }
  const auto dropped = std::find_if(read.records.begin(), read.records.end(), [](const Record& r) {
    return r.kind == Kind::Event && r.name == "records-dropped";
  });
  ASSERT_NE(dropped, read.records.end());
  // A call whose begin fell out of the ring still reads whole from its end.
  EXPECT_EQ(dropped->intField("count"), 2 * (calls - kept));
  EXPECT_EQ(std::count_if(read.records.begin(), read.records.end(),
                          [](const Record& r) { return r.kind == Kind::InFlight; }),
            0);
}

TEST(RingTrace, ThreadsWritingAtOnceLoseAndTearNothing) {
  std::vector<uint64_t> memory(1 << 18);
  RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), memory.size() * 8, 1'000'000, 0));
  constexpr int kThreads = 4, kCalls = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&ring, t] {
      for (int i = 0; i < kCalls; ++i) {
        tracedCall(ring, static_cast<uint32_t>(t + 1), i, t + 1, i);
        if (i % 100 == 0) {
          ring.text(static_cast<uint32_t>(t + 1), i, "event tick n=" + std::string(200, 'z'));
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  const ReadResult read = readRingTrace(bytesOf(memory));
  ASSERT_FALSE(read.error);
  std::map<unsigned long, int> nextOnThread;
  size_t ticks = 0;
  for (const Record& r : read.records) {
    if (r.kind == Kind::Call) {
      EXPECT_EQ(std::stoi(r.args[1]), nextOnThread[r.threadId]++) << "in order on each thread";
    }
    ticks += r.kind == Kind::Event && r.name == "tick" ? 1 : 0;
    EXPECT_NE(r.name, "records-cut-off");
  }
  EXPECT_EQ(ticks, kThreads * kCalls / 100u);
  for (int t = 1; t <= kThreads; ++t) {
    EXPECT_EQ(nextOnThread[t], kCalls);
  }
}

// Whatever the bytes, the reader answers without a crash; a file that is no ring trace says so.
TEST(RingTrace, ADamagedFileIsToldNotCrashedOn) {
  std::vector<uint64_t> memory(2048);
  RingWriter ring;
  ASSERT_TRUE(ring.start(memory.data(), memory.size() * 8, 1'000'000, 0));
  for (int i = 0; i < 200; ++i) {
    tracedCall(ring, 1, i, 1, i);
  }
  std::string damaged(bytesOf(memory));
  EXPECT_TRUE(readRingTrace(damaged.substr(0, 4096)).error) << "its slots cut away";
  // Facts no writer leaves: a count of claims beyond any file, a time origin at the far end.
  const std::pair<size_t, uint64_t> facts[] = {{offsetof(RingFacts, claimed), 1ull << 62},
                                               {offsetof(RingFacts, originTicks), 1ull << 63},
                                               {offsetof(RingFacts, ticksPerSecond), 1}};
  for (const auto& [offset, value] : facts) {
    std::string bytes = damaged;
    std::memcpy(bytes.data() + offset, &value, sizeof value);
    const ReadResult read = readRingTrace(bytes);
    EXPECT_LE(read.records.size(), 2048u) << offset;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::string bytes = damaged;
    for (int k = 0; k < 40; ++k) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    const ReadResult read = readAnyTrace(bytes);
    EXPECT_LE(read.records.size(), 2048u);
  }
}

#if !defined(_WIN32)
// The writer killed at a random moment: every call that returned before the kill is in the file,
// and a call it was inside shows in flight. The file is shared memory, as the stand-in's mapped
// file is: its pages outlive the process.
TEST(RingTrace, AWriterKilledAtAnyMomentLeavesEveryReturnedCallAndTheOneInFlight) {
  constexpr size_t kBytes = 4 << 20;
  char path[] = "/tmp/halvane-ring-kill-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  ASSERT_EQ(ftruncate(fd, kBytes), 0);
  void* file = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  ASSERT_NE(file, MAP_FAILED);
  // The count of calls returned, which the writer raises after each return.
  auto* returned = static_cast<std::atomic<int>*>(
      mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(static_cast<void*>(returned), MAP_FAILED);
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    std::memset(file, 0, kBytes);
    returned->store(0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RingWriter ring;
      ring.start(file, kBytes, 1'000'000, 0);
      for (int i = 0;; ++i) {
        tracedCall(ring, 1, i, 1, i);
        returned->store(i + 1, std::memory_order_release);
      }
    }
    const int atLeast = 1000 + static_cast<int>(random() % 200000);
    while (returned->load() < atLeast) {
      std::this_thread::yield();
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    const int before = returned->load();
    const ReadResult read = readRingTrace(std::string_view(static_cast<const char*>(file), kBytes));
    ASSERT_FALSE(read.error);
    const std::vector<int> values = valuesOf(read.records);
    ASSERT_GE(values.size(), 1u);
    const int last = values.back();
    EXPECT_GE(last + 1, before) << "a call that returned is missing";
    EXPECT_LE(last + 1, before + 1);
    const long inFlight = std::count_if(read.records.begin(), read.records.end(),
                                        [](const Record& r) { return r.kind == Kind::InFlight; });
    EXPECT_LE(inFlight, 1);
    for (const Record& r : read.records) {
      if (r.kind == Kind::InFlight) {
        EXPECT_EQ(r.args[1], std::to_string(last + 1)) << "the call after the last returned";
      }
    }
  }
  munmap(file, kBytes);
  munmap(returned, 4096);
  close(fd);
}
#endif

}  // namespace
}  // namespace halvane::trace
