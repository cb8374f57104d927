#include "sim/trace_format.h"

#include <gtest/gtest.h>

namespace halvane::sim {
namespace {

using namespace std::chrono_literals;

int HALVANE_STDCALL onlineStub(int, int) {
  return 0;
}

TEST(TraceFormat, MillisecondsWithThreeDecimals) {
  EXPECT_EQ(formatMs(0ns), "0.000");
  EXPECT_EQ(formatMs(1776us), "1.776");
  EXPECT_EQ(formatMs(123456789ns), "123.457");
}

TEST(TraceFormat, ACallWithItsResultAndBusTime) {
  const Request r = makeRequest(ExportId::PCAN_SetAccel, 1, 5);
  EXPECT_EQ(formatCall(r, {0, std::nullopt, 1776us}), "call PCAN_SetAccel(1, 5) -> 0 bus=1.776");
}

TEST(TraceFormat, PointersShowAsAmpersandAndOutValuesAfterOut) {
  int position = 0;
  const Request r = makeRequest(ExportId::PCAN_GetMotorPos, 2, &position);
  EXPECT_EQ(formatCall(r, {0, -1537, 1776us}),
            "call PCAN_GetMotorPos(2, &) -> 0 out=-1537 bus=1.776");
  EXPECT_EQ(formatCall(r, {3, std::nullopt, 20888us}),
            "call PCAN_GetMotorPos(2, &) -> 3 bus=20.888");
}

TEST(TraceFormat, CallbackPointersAndNullOnes) {
  const Request r =
      makeRequest(ExportId::PCAN_SetEventCallback, &onlineStub,
                  static_cast<SpareCallbackFn>(nullptr), static_cast<StatusCallbackFn>(nullptr));
  EXPECT_EQ(formatCall(r, {}), "call PCAN_SetEventCallback(&, null, null) -> 0 bus=0.000");
}

TEST(TraceFormat, NoArguments) {
  EXPECT_EQ(formatCall(makeRequest(ExportId::PCAN_ClosePort), {}),
            "call PCAN_ClosePort() -> 0 bus=0.000");
}

TEST(TraceFormat, Callbacks) {
  EXPECT_EQ(formatOnlineCallback(2, 1), "callback OnlineCallback(2, 1)");
  const unsigned char bytes[] = {0x01, 0x08, 0xFF};
  EXPECT_EQ(formatStatusCallback(1, bytes), "callback StatusCallback(1, 0, [01 08], 0)");
}

TEST(TraceFormat, WholeLine) {
  EXPECT_EQ(traceLine(2500us, 42, "event rest node=1"), "2.500 42 event rest node=1");
}

}  // namespace
}  // namespace halvane::sim
