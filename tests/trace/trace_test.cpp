#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

#include "trace/trace_file.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace halvane::trace {
namespace {

// Lines of every kind, as the simulated rig and the recording stand-in write them: each reads
// back into a record that is written again as the very same line.
TEST(TraceFormat, EveryKindOfLineReadsBackAndWritesTheSame) {
  const char* lines[] = {
      "0.225 716 event loaded node=- time_scale=25 online_delay_ms=300 start_angle=1:90,2:200",
      "3260.279 724 call PCAN_GetGPIOValue(1, &) -> 0 out=128 bus=1.776",
      "3260.279 724 call PCAN_GetGPIOValue(1, &) -> 3 bus=20.888",
      "0.000 7 call PCAN_ClosePort() -> 1 bus=0.000",
      "1.000 7 call PCAN_SetEventCallback(&, null, &) -> 0 took=0.004",
      "1.000 7 call PCAN_SetMaxSpeed(1, -800) -> 0 took=2.100",
      "1.500 7 call PCAN_SetDecel(2, 5) missing",
      "3351.412 720 callback StatusCallback(1, 0, [01 08], 0)",
      "3351.412 720 callback OnlineCallback(2, 1) -> 0 took=0.002",
      "4351.000 9 inflight PCAN_StartRelStep(1, 9600) for=1000.012",
      "3351.412 720 event rest node=1 pos=-1537 angle=3.544 by=ext-stop report=sent rest_count=1",
      "0.000 7 event config node=- variable=X value=1 problem=\"unknown variable, ignored\"",
      "12.000 5 operator click id=1013 caption=发送 accel=5",
      "13.000 5 operator message text=\"Failure of home switch!!\\n\" shown=\"a \\\"b\\\" \\\\ c\"",
      "0.000 5 header version=1.0 vendor=\"C:\\\\Rig\\\\PUSICANControl.vendor.dll\" size=4096",
      "99.999 5 crash code=0xC0000005 address=0x00401000",
  };
  for (const char* line : lines) {
    std::string error;
    const auto record = parseLine(line, error);
    ASSERT_TRUE(record) << line << ": " << error;
    EXPECT_EQ(formatRecord(*record), line);
  }
}

TEST(TraceFormat, FieldsAndTimesAreReadAsMeant) {
  std::string error;
  const auto call =
      parseLine("3260.279 724 call PCAN_GetMotorPos(2, &) -> 0 out=-1537 bus=1.776 took=2", error);
  ASSERT_TRUE(call) << error;
  EXPECT_EQ(call->kind, Kind::Call);
  EXPECT_EQ(call->timeUs, 3260279);
  EXPECT_EQ(call->threadId, 724u);
  EXPECT_EQ(call->signature(), "PCAN_GetMotorPos(2, &)");
  EXPECT_EQ(call->result, 0);
  EXPECT_EQ(call->out, -1537);
  EXPECT_EQ(call->busUs, 1776);
  EXPECT_EQ(call->tookUs, 2000);

  const auto step = parseLine("5.5 1 operator message text=\"位置1\\n\" id=7", error);
  ASSERT_TRUE(step) << error;
  EXPECT_EQ(step->timeUs, 5500);
  EXPECT_EQ(step->name, "message");
  ASSERT_NE(step->field("text"), nullptr);
  EXPECT_EQ(*step->field("text"), "位置1\n");
  EXPECT_EQ(step->intField("id"), 7);
  EXPECT_EQ(step->intField("text"), std::nullopt);
}

TEST(TraceFormat, ValuesWithAnyBytesSurviveQuoting) {
  const std::string values[] = {"",
                                "plain",
                                "two words",
                                "q\"uote",
                                "back\\slash",
                                "line\r\nend\t",
                                std::string("nul\0x\x7f", 6),
                                "中文 text"};
  for (const std::string& value : values) {
    Record r;
    r.kind = Kind::Operator;
    r.name = "step";
    r.fields = {{"v", value}, {"next", "1"}};
    std::string error;
    const auto back = parseLine(formatRecord(r), error);
    ASSERT_TRUE(back) << formatRecord(r) << ": " << error;
    EXPECT_EQ(*back, r);
  }
}

TEST(TraceFormat, MicrosecondsAsMilliseconds) {
  EXPECT_EQ(formatMs(0), "0.000");
  EXPECT_EQ(formatMs(1776), "1.776");
  EXPECT_EQ(formatMs(123456789), "123456.789");
  EXPECT_EQ(formatMs(-5), "-0.005");
}

TEST(TraceFormat, StatusCallbackShowsTheTwoGuaranteedBytes) {
  const unsigned char bytes[] = {0x01, 0x08};
  EXPECT_EQ(formatBody(statusCallbackRecord(1, 0, bytes, 0)),
            "callback StatusCallback(1, 0, [01 08], 0)");
  EXPECT_EQ(formatBody(statusCallbackRecord(1, 2, nullptr, 7)),
            "callback StatusCallback(1, 2, null, 7)");
  EXPECT_EQ(formatBody(onlineCallbackRecord(2, 1)), "callback OnlineCallback(2, 1)");
  EXPECT_EQ(formatBody(spareCallbackRecord(-3)), "callback SpareCallback(-3)");
}

// Whatever is wrong with a line, the reader names it and says what.
TEST(TraceReader, CorruptLinesAreNamedWithTheirFault) {
  struct Case {
    const char* text;
    size_t line;
    const char* message;
  };
  const Case cases[] = {
      {"hello world\n", 1, "not a trace line"},
      {"1.0 2 call A() -> 0\n1.0 x call\n", 2, "thread id"},
      {"1.0 2 shout A()\n", 1, "unknown kind \"shout\""},
      {"1.0 2 call A(1, 2 -> 0\n", 1, "unclosed argument list"},
      {"1.0 2 call A(1,2) -> 0\n", 1, "bad argument list"},
      {"1.0 2 call A(1, ) -> 0\n", 1, "bad argument list"},
      {"1.0 2 call A(1)\n", 1, "missing"},
      {"1.0 2 call A(1) -> 99999999999\n", 1, "bad result"},
      {"1.0 2 call A(1) -> 0 out=x\n", 1, "bad out-value"},
      {"1.0 2 call A(1) -> 0 bus=1.2.3\n", 1, "bad bus time"},
      {"1.0 2 event rest node\n", 1, "expected key=value"},
      {"1.0 2 event rest node=\"1\n", 1, "unclosed quoted value"},
      {"1.0 2 event rest node=\"\\q\"\n", 1, "bad escape"},
      {"1. 2 event rest\n", 1, "bad time"},
      {"1.0 2 event\n", 1, "expected \" \""},
      {"1.0 2 call (1) -> 0\n", 1, "expected a name"},
  };
  for (const Case& c : cases) {
    const ReadResult read = readTrace(c.text);
    ASSERT_TRUE(read.error) << c.text;
    EXPECT_EQ(read.error->line, c.line) << c.text;
    EXPECT_THAT(read.error->message, testing::HasSubstr(c.message)) << c.text;
    EXPECT_FALSE(read.error->cutOff);
    EXPECT_EQ(read.records.size(), c.line - 1) << c.text;
  }
}

// A program killed mid-line, or power lost while writing (the file's end then reads as NUL bytes,
// longer than any line).
TEST(TraceReader, ACutOffLastLineKeepsEverythingBeforeIt) {
  const std::string nuls(100000, '\0');
  for (const std::string& tail :
       {std::string("3.0 7 call PCAN_SetAc"), std::string("3.0 7 event rest node=1"), nuls,
        "3.0 7 call PCAN_SetAc" + nuls, nuls + "\n4.0 7 event d\n"}) {
    const ReadResult read =
        readTrace(std::string("1.0 7 event a x=1\r\n2.0 7 event b x=2\n") + tail);
    ASSERT_EQ(read.records.size(), 2u);
    ASSERT_TRUE(read.error);
    EXPECT_TRUE(read.error->cutOff);
    EXPECT_EQ(describe(*read.error).rfind("line 3: ", 0), 0u) << describe(*read.error);
  }
  EXPECT_FALSE(readTrace("").error);
}

TEST(TraceReader, AStreamReadInPiecesGivesEachLineOnceWhole) {
  const std::string text = "1.0 7 event a x=1\n2.0 7 call B(1) -> 0 bus=1.000\n3.0 7 event c\n";
  TraceStream stream;
  std::vector<Record> records;
  for (const char c : text) {
    for (Record& r : stream.append(std::string_view(&c, 1))) {
      records.push_back(std::move(r));
    }
  }
  stream.finish();
  EXPECT_FALSE(stream.error());
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].signature(), "B(1)");
  EXPECT_EQ(records[2].name, "c");
}

TEST(TraceReader, AnEndlessLineIsRefusedNotHeld) {
  TraceStream stream;
  stream.append(std::string(70000, '1'));
  ASSERT_TRUE(stream.error());
  EXPECT_EQ(stream.error()->message, "line too long");
}

// The simulated library's and the tracer's one trace file: lines from several threads each come
// out whole, ended with CR LF.
TEST(TraceFile, LinesFromManyThreadsComeOutWholeWithOneLineEnd) {
  const std::string path = testing::TempDir() + "trace-file-test.txt";
  {
    std::string error;
    const std::unique_ptr<TraceFile> file = TraceFile::create(path, error);
    ASSERT_TRUE(file) << error;
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
      writers.emplace_back([&file, t] {
        for (int i = 0; i < 500; ++i) {
          file->writeLine("1.000 " + std::to_string(t) + " event tick n=" + std::to_string(i));
        }
      });
    }
    for (std::thread& writer : writers) {
      writer.join();
    }
  }
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const ReadResult read = readTrace(text);
  EXPECT_FALSE(read.error);
  EXPECT_EQ(read.records.size(), 2000u);
  size_t lineEnds = 0;
  for (size_t at = 0; (at = text.find(kLineEnd, at)) != std::string::npos; at += kLineEnd.size()) {
    ++lineEnds;
  }
  EXPECT_EQ(lineEnds, 2000u);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2000);
  std::remove(path.c_str());
}

}  // namespace
}  // namespace halvane::trace
