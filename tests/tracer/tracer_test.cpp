#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

#include "trace/trace_reader.h"
#include "tracer/forwarding_tracer.h"
#include "tracer/trace_files.h"

namespace halvane::tracer {
namespace {

using ::testing::ElementsAre;

class FakeClock final : public TracerClock {
 public:
  int64_t nowUs() override { return now; }
  unsigned long threadId() override { return 7; }
  int64_t now = 1000;
};

class Lines final : public LineOutput {
 public:
  void writeLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<trace::Record> records() const {
    std::vector<trace::Record> result;
    for (const std::string& line : lines) {
      std::string error;
      auto record = trace::parseLine(line, error);
      EXPECT_TRUE(record) << line << ": " << error;
      result.push_back(record.value_or(trace::Record{}));
    }
    return result;
  }
  std::vector<std::string> lines;
};

class FakeVendor final : public VendorLookup {
 public:
  bool loaded() override { return isLoaded; }
  void* find(const char* name) override {
    const auto it = exports.find(name);
    return it == exports.end() ? nullptr : it->second;
  }
  bool isLoaded = true;
  std::map<std::string, void*> exports;
};

// What the fake vendor saw and does.
FakeClock* clockSeen = nullptr;
OnlineCallbackFn vendorOnline = nullptr;
SpareCallbackFn vendorSpare = nullptr;
StatusCallbackFn vendorStatus = nullptr;
int programCalls = 0;

int HALVANE_STDCALL vendorGetMotorPos(int node, int* position) {
  clockSeen->now += 1776;
  *position = node == 2 ? -1537 : 0;
  return node == 2 ? 0 : 3;
}
int HALVANE_STDCALL vendorInit(int, int, int) {
  return 0;
}
int HALVANE_STDCALL vendorSetEventCallback(OnlineCallbackFn online, SpareCallbackFn spare,
                                           StatusCallbackFn status) {
  vendorOnline = online;
  vendorSpare = spare;
  vendorStatus = status;
  return 4;
}
int HALVANE_STDCALL programOnline(int node, int state) {
  ++programCalls;
  return node * 10 + state;
}
int HALVANE_STDCALL programStatus(int node, int kind, unsigned char* status, int value) {
  ++programCalls;
  return node + kind + status[1] + value;
}

class ForwardingTracerTest : public ::testing::Test {
 protected:
  ForwardingTracerTest() {
    clockSeen = &clock_;
    vendor_.exports = {{"PCAN_GetMotorPos", reinterpret_cast<void*>(&vendorGetMotorPos)},
                       {"PCAN_Init", reinterpret_cast<void*>(&vendorInit)},
                       {"PCAN_SetEventCallback", reinterpret_cast<void*>(&vendorSetEventCallback)}};
    ForwardingTracer::install(&tracer_);
  }
  ~ForwardingTracerTest() override { ForwardingTracer::install(nullptr); }

  FakeClock clock_;
  Lines lines_;
  CallLog log_{lines_, clock_};
  FakeVendor vendor_;
  ForwardingTracer tracer_{log_, vendor_};
};

TEST_F(ForwardingTracerTest, ResultsAndOutValuesAreTheVendorsAndEachCallIsTracedWithItsTime) {
  int position = 99;
  EXPECT_EQ(tracer_.forward<PCAN_GetMotorPos_fn>("PCAN_GetMotorPos", 2, &position), 0);
  EXPECT_EQ(position, -1537);
  EXPECT_EQ(tracer_.forward<PCAN_GetMotorPos_fn>("PCAN_GetMotorPos", 1, &position), 3);
  EXPECT_EQ(position, 0);
  EXPECT_EQ(tracer_.forward<PCAN_Init_fn>("PCAN_Init", 8, 2, 1), 0);
  EXPECT_THAT(lines_.lines,
              ElementsAre("1.000 7 call PCAN_GetMotorPos(2, &) -> 0 out=-1537 took=1.776",
                          // A failed call's out-value is not the vendor's: none is written.
                          "2.776 7 call PCAN_GetMotorPos(1, &) -> 3 took=1.776",
                          "4.552 7 call PCAN_Init(8, 2, 1) -> 0 took=0.000"));
}

TEST_F(ForwardingTracerTest, AnExportTheVendorLacksIsAnsweredAsSkippedAndTracedMissing) {
  int status = 0;
  EXPECT_EQ(tracer_.forward<PCAN_GetControlStatus_fn>("PCAN_GetControlStatus", 1, &status), 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(tracer_.forward<PCAN_SetDecel_fn>("PCAN_SetDecel", 2, 5), 0);
  EXPECT_THAT(lines_.lines, ElementsAre("1.000 7 call PCAN_GetControlStatus(1, &) missing",
                                        "1.000 7 call PCAN_SetDecel(2, 5) missing"));
}

TEST_F(ForwardingTracerTest, AVendorThatWouldNotLoadFailsEveryCall) {
  vendor_.isLoaded = false;
  int position = 5;
  EXPECT_NE(tracer_.forward<PCAN_GetMotorPos_fn>("PCAN_GetMotorPos", 2, &position), 0);
  EXPECT_EQ(position, 5);
  EXPECT_THAT(lines_.lines,
              ElementsAre("1.000 7 call PCAN_GetMotorPos(2, &) -> -1 took=0.000 vendor=unloaded"));
}

TEST_F(ForwardingTracerTest, CallbacksAreTracedThenHandedToTheProgramWithItsResult) {
  programCalls = 0;
  EXPECT_EQ(tracer_.setEventCallback(&programOnline, nullptr, &programStatus), 4);
  ASSERT_NE(vendorOnline, nullptr);
  EXPECT_NE(vendorOnline, &programOnline);
  EXPECT_EQ(vendorSpare, nullptr) << "a null callback stays null";
  ASSERT_NE(vendorStatus, nullptr);

  EXPECT_EQ(vendorOnline(2, 1), 21);
  unsigned char bytes[2] = {0x00, 0x08};  // the two bytes the contract guarantees, no more
  EXPECT_EQ(vendorStatus(1, 0, bytes, 3), 1 + 0 + 8 + 3);
  EXPECT_EQ(programCalls, 2);
  EXPECT_THAT(lines_.lines,
              ElementsAre("1.000 7 call PCAN_SetEventCallback(&, null, &) -> 4 took=0.000",
                          "1.000 7 callback OnlineCallback(2, 1)",
                          "1.000 7 callback StatusCallback(1, 0, [00 08], 3)"));
}

TEST(CallLog, ACallInFlightForASecondGetsOneLineAndTheWatchSleepsOtherwise) {
  FakeClock clock;
  Lines lines;
  CallLog log(lines, clock);
  EXPECT_EQ(log.reportOverdue(), std::nullopt) << "nothing in flight: no wake-up";
  const auto id = log.begin("PCAN_StartRelStep", {"1", "9600"});
  clock.now += 999'999;
  EXPECT_EQ(log.reportOverdue(), 1);
  EXPECT_TRUE(lines.lines.empty());
  clock.now += 1;
  EXPECT_EQ(log.reportOverdue(), std::nullopt);
  clock.now += 5'000'000;
  EXPECT_EQ(log.reportOverdue(), std::nullopt);
  log.end(id, 0, std::nullopt);
  EXPECT_THAT(lines.lines,
              ElementsAre("1001.000 7 inflight PCAN_StartRelStep(1, 9600) for=1000.000",
                          "1.000 7 call PCAN_StartRelStep(1, 9600) -> 0 took=6000.000"));
}

// Lines from another thread, awaited.
class AwaitedLines final : public LineOutput {
 public:
  void writeLine(std::string_view line) override {
    std::lock_guard lock(mutex_);
    lines_.emplace_back(line);
    written_.notify_all();
  }
  std::optional<std::string> first(std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    if (!written_.wait_for(lock, timeout, [&] { return !lines_.empty(); })) {
      return std::nullopt;
    }
    return lines_.front();
  }

 private:
  std::mutex mutex_;
  std::condition_variable written_;
  std::vector<std::string> lines_;
};

TEST(CallLog, TheWatchThreadWritesTheInFlightLineAndEndsWithTheLog) {
  FakeClock clock;
  AwaitedLines lines;
  {
    CallLog log(lines, clock);
    log.begin("PCAN_OpenPort", {"4"});
    clock.now += kInFlightReportUs;
    log.startWatch();
    EXPECT_EQ(lines.first(std::chrono::seconds(10)),
              "1001.000 7 inflight PCAN_OpenPort(4) for=1000.000");
  }
}

TEST(TraceFiles, NamesSortByStartTimeAndTheOldestGo) {
  EXPECT_EQ(traceFileName({2026, 12, 8, 13, 31, 8, 5}), "halvane-20261208-133108-005.txt");
  EXPECT_EQ(isoTime({2026, 12, 8, 13, 31, 8, 5}), "2026-12-08T13:31:08.005");
  // Two starts in one millisecond: the second name is still one of ours, and sorts after.
  const std::string clash = traceFileName({2026, 12, 8, 13, 31, 8, 5}, 1);
  EXPECT_EQ(clash, "halvane-20261208-133108-005-1.txt");
  std::vector<std::string> names = {"notes.txt",
                                    clash,
                                    "halvane-20261208-133108-005.txt",
                                    "halvane-20251208-133108-005.txt",
                                    "halvane-20261209-000000-000.txt",
                                    "halvane-.txt",
                                    "halvane-notes.txt",
                                    "halvane-20261208-133108-005-.txt",
                                    "1-halvane-20261208-133108-005.txt"};
  EXPECT_THAT(tracesToRemove(names, 2), ElementsAre("halvane-20251208-133108-005.txt",
                                                    "halvane-20261208-133108-005.txt", clash));
  EXPECT_TRUE(tracesToRemove(names, 5).empty());
}

// Every thread that calls the library writes lines: the bound holds the file to its size, line
// ends counted, and the full line is written once, last.
TEST(TraceFiles, AFullTraceSaysSoOnceLastAndStaysWithinItsBound) {
  class Counted final : public LineOutput {
   public:
    void writeLine(std::string_view line) override {
      std::lock_guard lock(mutex);
      bytes += line.size() + trace::kLineEnd.size();
      lines.emplace_back(line);
    }
    std::mutex mutex;
    uint64_t bytes = 0;
    std::vector<std::string> lines;
  };
  constexpr uint64_t kLimit = 20000;
  FakeClock clock;
  Counted file;
  BoundedOutput bounded(file, clock, kLimit);
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        bounded.writeLine("1.000 7 event tick");
      }
    });
  }
  for (std::thread& writer : writers) {
    writer.join();
  }
  EXPECT_LE(file.bytes, kLimit);
  EXPECT_GT(file.bytes, kLimit - 200);
  EXPECT_EQ(std::count_if(file.lines.begin(), file.lines.end(),
                          [](const std::string& l) { return l.find("trace-full") != l.npos; }),
            1);
  EXPECT_EQ(file.lines.back(), "1.000 7 event trace-full limit_bytes=20000");
}

TEST(TraceFiles, Checksum) {
  EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(crc32("6789", 4, crc32("12345", 5)), 0xCBF43926u);
}

}  // namespace
}  // namespace halvane::tracer
