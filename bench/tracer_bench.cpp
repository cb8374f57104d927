// The recording stand-in's figures: its own time per call with a vendor library behind it whose
// calls take no time, its CPU while nothing is called, and, from its timestamps, the program's own
// time between one call of a command and the next. Appends its rows to the benchmark's table.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_measure.h"
#include "common/controller_exports.h"
#include "driver/operator_steps.h"
#include "trace/ring_reader.h"

namespace halvane::bench {
namespace {

constexpr int kCallsMeasured = 20000;
// A gap longer than this holds a wait of the program's own (a homing waiting for rest), not its
// work between calls.
constexpr int64_t kWaitGapUs = 5000;

int runs = 20;

std::wstring windowsPath(const char* path) {
  std::wstring wide = L"Z:" + halvane::widen(path);
  for (wchar_t& c : wide) {
    c = c == L'/' ? L'\\' : c;
  }
  return wide;
}

double microsecondsOf(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
  return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
         static_cast<double>(frequency.QuadPart);
}

using SetAccelFn = PCAN_SetAccel_fn;
using GetMotorPosFn = PCAN_GetMotorPos_fn;

std::vector<double> timeCalls(SetAccelFn setAccel, GetMotorPosFn getPos) {
  LARGE_INTEGER frequency, before, after;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  int position = 0;
  for (int i = 0; i < kCallsMeasured; ++i) {
    QueryPerformanceCounter(&before);
    if (i % 2 == 0) {
      setAccel(1, i);
    } else {
      getPos(2, &position);
    }
    QueryPerformanceCounter(&after);
    times.push_back(microsecondsOf(before, after, frequency));
  }
  return times;
}

double ownCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](FILETIME t) {
    return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

int HALVANE_STDCALL programOnline(int, int) {
  return 0;
}
int HALVANE_STDCALL programSpare(int) {
  return 0;
}
int HALVANE_STDCALL programStatus(int, int, unsigned char*, int) {
  return 0;
}

// Status reports on the vendor's thread, with the stand-in's callback before the program's and
// without it.
void perCallbackCost(void* setThrough, void* setBare, void* status) {
  using SetFn = PCAN_SetEventCallback_fn;
  using StatusFn = int(HALVANE_STDCALL*)(int);
  if (setThrough == nullptr || setBare == nullptr || status == nullptr) {
    row("stand-in's own time a callback", "not measured", "-");
    return;
  }
  const auto report = reinterpret_cast<StatusFn>(status);
  const auto timeReports = [&] {
    LARGE_INTEGER frequency, before, after;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times;
    for (int i = 0; i < kCallsMeasured; ++i) {
      QueryPerformanceCounter(&before);
      report(1 + i % 2);
      QueryPerformanceCounter(&after);
      times.push_back(microsecondsOf(before, after, frequency));
    }
    return summarise(times);
  };
  reinterpret_cast<SetFn>(setThrough)(&programOnline, &programSpare, &programStatus);
  timeReports();
  const Summary through = timeReports();
  reinterpret_cast<SetFn>(setBare)(&programOnline, &programSpare, &programStatus);
  const Summary bare = timeReports();
  const double median = through.median - bare.median;
  const double p99 = through.p99 - bare.median;
  row("stand-in's own time a status report, median / p99, us (" + std::to_string(through.count) +
          " reports)",
      fixed(median) + " / " + fixed(p99), fixed(through.max - bare.median), "<= 1 / <= 3",
      median <= 1 && p99 <= 3 ? "met" : "missed");
}

// The stand-in in a folder of its own with the null vendor beside it, called directly.
void perCallCost() {
  const std::wstring folder = e2e::freshTestFolder(L"tracer-bench");
  const std::wstring standIn = folder + L"\\PUSICANControl.dll";
  const std::wstring vendor = folder + L"\\PUSICANControl.vendor.dll";
  CopyFileW(windowsPath(HALVANE_BENCH_TRACER).c_str(), standIn.c_str(), FALSE);
  CopyFileW(windowsPath(HALVANE_BENCH_NULL_VENDOR).c_str(), vendor.c_str(), FALSE);
  const HMODULE traced = LoadLibraryW(standIn.c_str());
  if (traced == nullptr) {
    row("stand-in's own time a call", "not loaded", "-");
    return;
  }
  auto find = [](HMODULE module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  };
  timeCalls(reinterpret_cast<SetAccelFn>(find(traced, "PCAN_SetAccel")),
            reinterpret_cast<GetMotorPosFn>(find(traced, "PCAN_GetMotorPos")));  // loads the vendor
  const HMODULE vendorModule = GetModuleHandleW(vendor.c_str());
  const Summary through =
      summarise(timeCalls(reinterpret_cast<SetAccelFn>(find(traced, "PCAN_SetAccel")),
                          reinterpret_cast<GetMotorPosFn>(find(traced, "PCAN_GetMotorPos"))));
  const Summary bare =
      summarise(timeCalls(reinterpret_cast<SetAccelFn>(find(vendorModule, "PCAN_SetAccel")),
                          reinterpret_cast<GetMotorPosFn>(find(vendorModule, "PCAN_GetMotorPos"))));
  const double median = through.median - bare.median;
  const double p99 = through.p99 - bare.median;
  row("stand-in's own time a call, median, us (" + std::to_string(through.count) + " calls)",
      fixed(median), fixed(through.max - bare.median), "<= 1", median <= 1 ? "met" : "missed");
  row("stand-in's own time a call, p99, us", fixed(p99), "-", "<= 3", p99 <= 3 ? "met" : "missed");
  row("the same calls without the stand-in, median / p99, us (the machine's own noise)",
      fixed(bare.median) + " / " + fixed(bare.p99), fixed(bare.max));

  perCallbackCost(find(traced, "PCAN_SetEventCallback"),
                  find(vendorModule, "PCAN_SetEventCallback"),
                  find(vendorModule, "HalvaneBench_Status"));

  const double before = ownCpuSeconds();
  Sleep(5000);
  const double idle = std::max(0.0, ownCpuSeconds() - before);
  row("stand-in's CPU over 5 s with nothing called, s", fixed(idle), "-", "0",
      idle < 0.01 ? "met" : "missed");
}

// Gaps between consecutive calls of the worker in the stand-in's trace lines [from, to): from the
// end of one call to the start of the next.
void collectGaps(const std::vector<trace::Record>& records, size_t from, std::vector<double>& gaps,
                 int& waits) {
  std::map<unsigned long, const trace::Record*> lastOnThread;
  for (size_t i = from; i < records.size(); ++i) {
    const trace::Record& r = records[i];
    if (r.kind != trace::Kind::Call || !r.tookUs) {
      continue;
    }
    const trace::Record*& last = lastOnThread[r.threadId];
    if (last != nullptr) {
      const int64_t gap = r.timeUs - (last->timeUs + *last->tookUs);
      if (gap > kWaitGapUs) {
        ++waits;
      } else {
        gaps.push_back(static_cast<double>(gap));
      }
    }
    last = &r;
  }
}

std::vector<trace::Record> standInRecords(const e2e::ProgramSession& session) {
  const std::vector<std::string> traces = session.standInTraces();
  return traces.empty() ? std::vector<trace::Record>() : trace::readTrace(traces.back()).records;
}

// The program's own time between calls, per command kind, through the stand-in.
void programTimeBetweenCalls() {
  struct Kind {
    const char* name;
    int button;
    int listRow;  // -1: none
  };
  const Kind kinds[] = {{"homing", IDC_RESET1, -1},
                        {"slot move", IDC_SEND_POSITION1, 0},
                        {"forward rotation", IDC_SEND_FORWARD1, -1},
                        {"reverse rotation", IDC_SEND_REVERSE1, -1}};
  e2e::SessionOptions options;
  options.throughTracer = true;
  options.folderName = L"tracer-bench-session";
  options.simulatorSettings = {{L"HALVANE_SIM_TIME_SCALE", L"50"}};
  e2e::ProgramSession session(options);
  if (!session.started() || !e2e::openAndConfigure(session)) {
    row("program's time between calls", "no session", "-");
    return;
  }
  std::map<std::string, std::vector<double>> gaps;
  std::map<std::string, int> waits;
  collectGaps(standInRecords(session), 0, gaps["configuration"], waits["configuration"]);
  for (int run = 0; run < runs; ++run) {
    for (const Kind& kind : kinds) {
      if (kind.listRow >= 0) {
        session.window().selectListRow(IDC_POSITION1, (run + 1) % 6);
      }
      const size_t before = standInRecords(session).size();
      session.window().click(kind.button);
      e2e::waitForCommandButtons(session.window(), false, std::chrono::seconds(5));
      e2e::waitForCommandButtons(session.window(), true, std::chrono::seconds(60));
      // The wheel at rest before the next command: a move's last report has come.
      e2e::waitUntil(
          [&] {
            size_t starts = 0, rests = 0;
            for (const e2e::TraceEntry& e : e2e::parseTrace(session.trace())) {
              starts += e.kind == "event" && e.text.rfind("move-start ", 0) == 0;
              rests += e.kind == "event" && e.text.rfind("rest ", 0) == 0;
            }
            return starts == rests;
          },
          std::chrono::seconds(30));
      collectGaps(standInRecords(session), before, gaps[kind.name], waits[kind.name]);
    }
  }
  for (const auto& [name, values] : gaps) {
    const Summary s = summarise(values);
    row("program's own time between calls, " + name + ", median / p99, us (" +
            std::to_string(s.count) + " gaps, " + std::to_string(waits[name]) + " waits left out)",
        fixed(s.median, 1) + " / " + fixed(s.p99, 1), fixed(s.max, 1), "median <= 50",
        s.median <= 50 ? "met" : "missed");
  }
}

}  // namespace
}  // namespace halvane::bench

int main(int argc, char** argv) {
  using namespace halvane::bench;
  const BenchOptions options = startBench(argc, argv);
  runs = options.runs.value_or(runs);
  const std::string& out = options.out;
  perCallCost();
  programTimeBetweenCalls();
  if (!out.empty()) {
    std::ofstream file(out, std::ios::binary | std::ios::app);
    for (const std::string& line : tableRows()) {
      file << line << "\n";
    }
  }
  return 0;
}
