#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "common/export_names.h"
#include "trace/ring_reader.h"
#include "trace/trace_writer.h"
#include "tracer/forwarding_tracer.h"
#include "tracer/operator_steps.h"
#include "tracer/trace_files.h"

namespace halvane::tracer {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A microsecond a tick, so the trace's times read as the clock was set.
class FakeClock final : public TracerClock {
 public:
  int64_t nowTicks() override { return now; }
  uint32_t threadId() override { return 7; }
  int64_t now = 1000;
};

// A trace in memory, read back as text lines.
class MemoryTrace {
 public:
  explicit MemoryTrace(size_t bytes = 64 * 1024) : memory_(bytes / 8) {
    ring.start(memory_.data(), bytes, 1'000'000, 0);
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> lines;
    const auto bytes =
        std::string_view(reinterpret_cast<const char*>(memory_.data()), memory_.size() * 8);
    const trace::ReadResult read = trace::readRingTrace(bytes);
    EXPECT_FALSE(read.error);
    for (const trace::Record& r : read.records) {
      lines.push_back(trace::formatRecord(r));
    }
    return lines;
  }
  trace::RingWriter ring;

 private:
  std::vector<uint64_t> memory_;
};

// What the fake vendor saw and does.
FakeClock* clockSeen = nullptr;
MemoryTrace* traceSeen = nullptr;
std::vector<std::string> linesDuringCall;
OnlineCallbackFn vendorOnline = nullptr;
SpareCallbackFn vendorSpare = nullptr;
StatusCallbackFn vendorStatus = nullptr;
int programCalls = 0;

int HALVANE_STDCALL vendorGetMotorPos(int node, int* position) {
  clockSeen->now += 1776;
  *position = node == 2 ? -1537 : 0;
  return node == 2 ? 0 : 3;
}
// Fails without writing, as a node that does not answer may.
int HALVANE_STDCALL vendorIsSlaveOnline(int, int*) {
  return 5;
}
// Looks at the trace while the call is in the vendor's hands: as a crash or a kill there leaves it.
int HALVANE_STDCALL vendorStartRelStep(int, int) {
  clockSeen->now += 500;
  linesDuringCall = traceSeen->lines();
  return 0;
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
    traceSeen = &trace_;
    vendor_.loaded = true;
    const std::pair<const char*, void*> exports[] = {
        {"PCAN_GetMotorPos", reinterpret_cast<void*>(&vendorGetMotorPos)},
        {"PCAN_IsSlaveOnline", reinterpret_cast<void*>(&vendorIsSlaveOnline)},
        {"PCAN_StartRelStep", reinterpret_cast<void*>(&vendorStartRelStep)},
        {"PCAN_Init", reinterpret_cast<void*>(&vendorInit)},
        {"PCAN_SetEventCallback", reinterpret_cast<void*>(&vendorSetEventCallback)}};
    for (const auto& [name, fn] : exports) {
      vendor_.exports[*controllerExportIndex(name)] = fn;
    }
    ForwardingTracer::install(&tracer_);
  }
  ~ForwardingTracerTest() override { ForwardingTracer::install(nullptr); }

  static constexpr int kGetMotorPos = *controllerExportIndex("PCAN_GetMotorPos");
  static constexpr int kIsSlaveOnline = *controllerExportIndex("PCAN_IsSlaveOnline");

  FakeClock clock_;
  MemoryTrace trace_;
  VendorExports vendor_;
  ForwardingTracer tracer_{trace_.ring, clock_, vendor_};
};

// Every out-value as it stands after the call, failed or not, and whether the call left it as it
// was: the replay then writes back exactly what the vendor wrote.
TEST_F(ForwardingTracerTest, ResultsAndOutValuesAreTheVendorsAndEachCallIsTracedWithItsTime) {
  int position = 99;
  EXPECT_EQ((tracer_.forward<kGetMotorPos, PCAN_GetMotorPos_fn>(2, &position)), 0);
  EXPECT_EQ(position, -1537);
  EXPECT_EQ((tracer_.forward<kGetMotorPos, PCAN_GetMotorPos_fn>(1, &position)), 3);
  EXPECT_EQ(position, 0);
  int online = 0;
  EXPECT_EQ((tracer_.forward<kIsSlaveOnline, PCAN_IsSlaveOnline_fn>(1, &online)), 5);
  EXPECT_EQ((tracer_.forward<kIsSlaveOnline, PCAN_IsSlaveOnline_fn>(2, static_cast<int*>(nullptr))),
            5);
  EXPECT_EQ((tracer_.forward<*controllerExportIndex("PCAN_Init"), PCAN_Init_fn>(8, 2, 1)), 0);
  EXPECT_THAT(trace_.lines(),
              ElementsAre("1.000 7 call PCAN_GetMotorPos(2, &) -> 0 out=-1537 took=1.776",
                          "2.776 7 call PCAN_GetMotorPos(1, &) -> 3 out=0 took=1.776",
                          "4.552 7 call PCAN_IsSlaveOnline(1, &) -> 5 out=0 took=0.000 out_same=1",
                          "4.552 7 call PCAN_IsSlaveOnline(2, null) -> 5 took=0.000",
                          "4.552 7 call PCAN_Init(8, 2, 1) -> 0 took=0.000"));
}

TEST_F(ForwardingTracerTest, ACallStillInTheVendorsHandsShowsInFlight) {
  clock_.now = 2000;
  EXPECT_EQ(
      (tracer_.forward<*controllerExportIndex("PCAN_StartRelStep"), PCAN_StartRelStep_fn>(1, 9600)),
      0);
  EXPECT_THAT(linesDuringCall,
              ElementsAre("2.000 7 inflight PCAN_StartRelStep(1, 9600) for=0.000 returned=no"));
  EXPECT_THAT(trace_.lines(),
              ElementsAre("2.000 7 call PCAN_StartRelStep(1, 9600) -> 0 took=0.500"));
}

TEST_F(ForwardingTracerTest, AnExportTheVendorLacksIsAnsweredAsSkippedAndTracedMissing) {
  int status = 0;
  EXPECT_EQ(
      (tracer_.forward<*controllerExportIndex("PCAN_GetControlStatus"), PCAN_GetControlStatus_fn>(
          1, &status)),
      0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ((tracer_.forward<*controllerExportIndex("PCAN_SetDecel"), PCAN_SetDecel_fn>(2, 5)), 0);
  EXPECT_THAT(trace_.lines(), ElementsAre("1.000 7 call PCAN_GetControlStatus(1, &) missing",
                                          "1.000 7 call PCAN_SetDecel(2, 5) missing"));
}

TEST_F(ForwardingTracerTest, AVendorThatWouldNotLoadFailsEveryCall) {
  vendor_.loaded = false;
  int position = 5;
  EXPECT_NE((tracer_.forward<kGetMotorPos, PCAN_GetMotorPos_fn>(2, &position)), 0);
  EXPECT_EQ(position, 5);
  EXPECT_THAT(trace_.lines(),
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
  tracer_.crash(0xC0000005, 0x401000);
  EXPECT_THAT(trace_.lines(),
              ElementsAre("1.000 7 call PCAN_SetEventCallback(&, null, &) -> 4 took=0.000",
                          "1.000 7 callback OnlineCallback(2, 1)",
                          "1.000 7 callback StatusCallback(1, 0, [00 08], 3)",
                          "1.000 7 crash code=0xC0000005 address=0x00401000"));
}

TEST_F(ForwardingTracerTest, LinesMadeOffTheCallsPathReadBackAsWritten) {
  tracer_.write(clickStep(1013, "发送", {{1006, "5"}, {1030, "位置3"}}, false));
  tracer_.write(clickStep(2, "", {}));
  tracer_.write(trace::eventRecord("vendor-load-failed", {{"error", "193"}}));
  EXPECT_THAT(
      trace_.lines(),
      ElementsAre("1.000 7 operator click id=1013 caption=发送 enabled=0 c1006=5 c1030=位置3",
                  "1.000 7 operator click id=2 caption=\"\"",
                  "1.000 7 event vendor-load-failed error=193"));
}

// A long paste is cut on a character's boundary, its length said, and the line stays one a
// reader takes.
TEST(OperatorSteps, AClickKeepsTheStartOfALongValueAndSaysHowLongItWas) {
  std::string pasted;
  for (int i = 0; i < 32767; ++i) {
    pasted += "中";
  }
  const trace::Record click = clickStep(1006, "发送", {{1006, pasted}, {1007, "32"}});
  ASSERT_EQ(click.fields.size(), 5u);
  EXPECT_EQ(click.fields[2].key, "c1006");
  EXPECT_EQ(click.fields[2].value.size(), kClickValueBytes / 3 * 3);
  EXPECT_EQ(click.fields[3], (trace::Field{"c1006_bytes", std::to_string(3 * 32767)}));
  EXPECT_EQ(click.fields[4], (trace::Field{"c1007", "32"}));
  std::string error;
  EXPECT_TRUE(trace::parseLine(trace::formatRecord(click), error)) << error;
}

// Numbered in the order runs start: a clock set back changes nothing.
TEST(TraceFiles, NamesAreNumberedInTheOrderRunsStartAndTheLowestGo) {
  EXPECT_EQ(traceFileName(5), "halvane-000005.trace");
  EXPECT_EQ(traceFileName(1234567), "halvane-1234567.trace");
  EXPECT_EQ(isoTime({2026, 12, 8, 13, 31, 8, 5}), "2026-12-08T13:31:08.005");
  const std::vector<std::string> names = {"notes.txt",
                                          "halvane-000009.trace",
                                          "halvane-000010.trace",
                                          "halvane-1000000.trace",
                                          "halvane-20261208-133108-005.txt",
                                          "halvane-00001.trace",
                                          "halvane-00000x.trace",
                                          "halvane-000011.trace.bak"};
  EXPECT_EQ(nextTraceSequence(names), 1000001u);
  EXPECT_EQ(nextTraceSequence({}), 1u);
  EXPECT_THAT(tracesToRemove(names, 2),
              ElementsAre("halvane-000009.trace", "halvane-000010.trace"));
  EXPECT_THAT(tracesToRemove(names, 4), IsEmpty());
}

// A full disk is found when the run starts: the whole size in every folder, then less, and the
// refusals are kept to be said in the trace.
TEST(TraceFiles, SpaceIsTakenWhereThereIsRoomAndEveryRefusalIsKept) {
  class Disks final : public TraceSpace {
   public:
    bool take(size_t folder, uint64_t bytes) override { return bytes <= room[folder]; }
    uint64_t room[2] = {0, 0};
  };
  struct Case {
    uint64_t room0, room1;
    std::optional<size_t> folder;
    uint64_t bytes;
    size_t refusals;
  };
  constexpr uint64_t kMiB = 1024 * 1024;
  const Case cases[] = {
      {64 * kMiB, 0, 0, 64 * kMiB, 0},        {0, 100 * kMiB, 1, 64 * kMiB, 1},
      {20 * kMiB, 5 * kMiB, 0, 16 * kMiB, 2}, {2 * kMiB, 0, 0, 1 * kMiB, 6},
      {kMiB - 1, 0, std::nullopt, 0, 8},
  };
  for (const Case& c : cases) {
    Disks disks;
    disks.room[0] = c.room0;
    disks.room[1] = c.room1;
    const SpaceTaken taken = takeTraceSpace(disks, 2);
    EXPECT_EQ(taken.folder, c.folder) << c.room0 << " " << c.room1;
    EXPECT_EQ(taken.bytes, c.bytes) << c.room0 << " " << c.room1;
    EXPECT_EQ(taken.refused.size(), c.refusals) << c.room0 << " " << c.room1;
  }
}

TEST(TraceFiles, Checksum) {
  EXPECT_EQ(crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(crc32("6789", 4, crc32("12345", 5)), 0xCBF43926u);
}

}  // namespace
}  // namespace halvane::tracer
