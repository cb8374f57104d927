#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/halvane-trace/library_profile.h"
#include "tools/halvane-trace/profile_settings.h"
#include "trace/ring_reader.h"
#include "trace/trace_reader.h"

namespace halvane::tools {
namespace {

constexpr double kCallMs = 2.0;

// A trace as the recording stand-in writes it: each line when it is written (a call's when it
// returns, stamped with its start), so a report made during a call stands before the call's line.
class TraceText {
 public:
  void call(double ms, const std::string& what, const std::string& result = "0") {
    add(ms + kCallMs, ms, "call " + what + " -> " + result + " took=" + number(kCallMs));
  }
  void callback(double ms, const std::string& what) { add(ms, ms, "callback " + what); }
  void status(double ms, int node, bool moving) {
    callback(ms, "StatusCallback(" + std::to_string(node) + ", 0, [00 " + (moving ? "08" : "00") +
                     "], 0)");
  }
  void read(double ms, int node, int value) {
    call(ms, "PCAN_GetMotorPos(" + std::to_string(node) + ", &)", "0 out=" + std::to_string(value));
  }
  // An accepted start whose moving report comes `reportMs` after it returned (none: inside it).
  void start(double ms, int node, std::optional<double> reportMs = std::nullopt) {
    call(ms, "PCAN_StartRelStep(" + std::to_string(node) + ", 100)");
    status(reportMs ? ms + kCallMs + *reportMs : ms + kCallMs / 2, node, true);
  }
  std::vector<trace::Record> records() const {
    std::vector<std::pair<double, std::string>> sorted = lines_;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [written, line] : sorted) {
      text += line + "\n";
    }
    return trace::readTrace(text).records;
  }

 private:
  static std::string number(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
  }
  void add(double writtenMs, double stampMs, const std::string& rest) {
    lines_.emplace_back(writtenMs, number(stampMs) + " 7 " + rest);
  }
  std::vector<std::pair<double, std::string>> lines_;
};

// The bus opened at 0 (its call returns at 2 ms) and both nodes online `delayMs` later.
TraceText opened(double delayMs = 300) {
  TraceText t;
  t.call(0, "PCAN_OpenPort(4)");
  t.callback(kCallMs + delayMs, "OnlineCallback(1, 1)");
  t.callback(kCallMs + delayMs, "OnlineCallback(2, 1)");
  return t;
}

std::map<std::string, std::string> settingsOf(const LibraryProfile& profile) {
  std::map<std::string, std::string> values;
  for (const SimSetting& s : simSettings(profile)) {
    if (s.value) {
      values[s.name.substr(sizeof("HALVANE_SIM_") - 1)] = *s.value;
    }
  }
  return values;
}

// Three moves of node 2 whose reads, 250 ms apart, repeat what the library refreshed every 400 ms
// on its own clock, `driftMs` further from the trace's at each move; each move's first read
// is one count off the value set before it.
TraceText refreshedMoves(int driftMs, bool oneStampedLate) {
  TraceText t = opened();
  for (int i = 0; i < 3; ++i) {
    const double at = 1000 + 5000 * i + 37 * i;
    const double drift = driftMs * i;
    t.call(at - 20, "PCAN_SetMotorPos(2, 0)");
    t.read(at - 10, 2, 1);
    t.start(at, 2);
    for (int poll = 0; poll < 16; ++poll) {
      const double when = at + kCallMs + 250 * poll;
      const int refreshed = static_cast<int>((when + drift) / 400) * 400 - static_cast<int>(drift);
      // A read stamped past the next refresh, as on a loaded machine: the period still fits the
      // others.
      const bool late = oneStampedLate && i == 1 && poll == 7;
      t.read(late ? refreshed + 405 : when, 2, std::max(0, refreshed - static_cast<int>(at)) * 3);
    }
    t.status(at + 4200, 2, false);
  }
  return t;
}

struct ProfileCase {
  const char* name;
  TraceText (*trace)();
  std::map<std::string, std::string> settings;  // every setting given, none other
};

const ProfileCase kCases[] = {
    {"reports inside the start, nothing more",
     [] {
       TraceText t = opened(450);
       for (int i = 0; i < 3; ++i) {
         t.start(1000 + 1000 * i, 1);
         t.status(1500 + 1000 * i, 1, false);
       }
       return t;
     },
     {{"ONLINE_DELAY_MS", "450"}}},
    {"late reports, each start with a stale rest",
     [] {
       TraceText t = opened();
       for (int i = 0; i < 3; ++i) {
         t.start(1000 + 1000 * i, 2, 30.0);
         t.status(1000 + 1000 * i + kCallMs + 30.5, 2, false);  // with the start: stale
         t.status(1600 + 1000 * i, 2, false);
       }
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"REPORT_DELAY_MS", "30"}, {"STALE_REST", "2"}}},
    {"stale rests from the second move on, both nodes",
     [] {
       TraceText t = opened();
       for (int node = 1; node <= 2; ++node) {
         for (int i = 0; i < 4; ++i) {
           const double at = 1000 + 1000 * i + 100 * node;
           t.start(at, node);
           if (i >= 1) {
             t.status(at + 1.5, node, false);
           }
           t.status(at + 500, node, false);
         }
       }
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"STALE_REST", "*@2+"}}},
    {"a periodic rest report inside each start, before its moving report: the wheel before the "
     "move, not stale",
     [] {
       TraceText t = opened();
       for (int i = 0; i < 3; ++i) {
         t.status(1000 + 1000 * i + kCallMs / 4, 1, false);
         t.start(1000 + 1000 * i, 1);
         t.status(1500 + 1000 * i, 1, false);
       }
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}}},
    {"rest reports lost on no pattern: each named",
     [] {
       TraceText t = opened();
       for (int i = 0; i < 4; ++i) {
         t.start(1000 + 1000 * i, 1);
         if (i == 1 || i == 3) {
           t.status(1500 + 1000 * i, 1, false);
         }
       }
       t.start(5000, 1);  // finds the fourth move at rest
       t.status(5500, 1, false);
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"LOSE_REST", "1@1,1@3"}}},
    {"a homing's rest report lost: the wheel stands, is zeroed, and reads the new zero",
     [] {
       TraceText t = opened();
       t.start(1000, 2);
       for (int poll = 0; poll < 8; ++poll) {  // polls a loaded machine made 300 ms apart
         t.read(1010 + 300 * poll, 2, -240 * (poll + 1));
       }
       t.read(3382, 2, -240 * 8);  // standing: the last read again
       t.call(3400, "PCAN_SetMotorPos(2, 0)");
       t.read(3410, 2, 0);
       t.start(4000, 2);  // finds it at rest
       t.status(4500, 2, false);
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"LOSE_REST", "2@1"}}},
    {"failures every third call, from a call on, and on no pattern",
     [] {
       TraceText t = opened();
       for (int i = 1; i <= 9; ++i) {
         t.call(1000 + 10 * i, "PCAN_SetDir(2, 1)", i % 3 == 0 ? "9" : "0");
         t.call(2000 + 10 * i, "PCAN_GetGPIOValue(1, &)", i >= 7 ? "3" : "0 out=128");
         t.call(3000 + 10 * i, "PCAN_SetAccel(1, 5)", i == 1 || i == 2 || i == 5 ? "9" : "0");
       }
       t.call(4000, "PCAN_Init(8, 2, 1)", "4");
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"FAIL", "PCAN_GetGPIOValue:1@7+,PCAN_Init,PCAN_SetDir:2@%3"}}},
    {"reads standing where the move began for a while",
     [] {
       TraceText t = opened();
       for (int i = 0; i < 2; ++i) {
         const double at = 1000 + 3000 * i;
         t.read(at - 10, 1, 0);
         t.start(at, 1);
         for (int poll = 0; poll < 8; ++poll) {
           const double when = at + kCallMs + 250 * poll;
           t.read(when, 1, when - at < 400 ? 0 : -static_cast<int>(when - at));
         }
         t.status(at + 2100, 1, false);
         t.call(at + 2200, "PCAN_SetMotorPos(1, 0)");
       }
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"POSITION_LAG_MS", "377"}}},
    {"reads refreshed every 400 ms, one stamped late, wavering at rest",
     [] { return refreshedMoves(0, true); },
     {{"ONLINE_DELAY_MS", "300"}, {"POSITION_REFRESH_MS", "400"}, {"POSITION_WAVER", "2"}}},
    {"reads refreshed every 400 ms on a clock that drifts from the trace's",
     [] { return refreshedMoves(137, false); },
     {{"ONLINE_DELAY_MS", "300"}, {"POSITION_REFRESH_MS", "400"}, {"POSITION_WAVER", "2"}}},
    {"a node that never comes online, the other reporting every 100 ms",
     [] {
       TraceText t;
       t.call(0, "PCAN_OpenPort(4)");
       t.callback(302, "OnlineCallback(1, 1)");
       for (int i = 0; i < 10; ++i) {
         t.status(400 + 100 * i, 1, false);
       }
       t.call(3000, "PCAN_IsSlaveOnline(1, &)", "0 out=1");
       t.call(3002, "PCAN_IsSlaveOnline(2, &)", "0 out=0");
       return t;
     },
     {{"ONLINE_DELAY_MS", "300"}, {"OFFLINE", "2"}, {"STATUS_PERIOD_MS", "100"}}},
};

TEST(LibraryProfile, GivesTheSettingsTheTraceShows) {
  for (const ProfileCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const LibraryProfile profile = buildProfile(c.trace().records());
    std::map<std::string, std::string> given = settingsOf(profile);
    // The refresh period is the range of periods the reads fit best: it must hold the true one
    // (give or take a few ms, where a read stamped late fits a neighbour better), and the
    // setting is its middle.
    if (c.settings.count("POSITION_REFRESH_MS") > 0 && given.count("POSITION_REFRESH_MS") > 0) {
      const auto range = refreshPeriods(profile);
      ASSERT_TRUE(range.has_value());
      EXPECT_LE(range->lowMs, 400 + 2);
      EXPECT_GE(range->highMs, 400 - 2);
      EXPECT_EQ(given["POSITION_REFRESH_MS"], std::to_string((range->lowMs + range->highMs) / 2));
      given["POSITION_REFRESH_MS"] = "400";
    }
    EXPECT_EQ(given, c.settings);
  }
}

TEST(LibraryProfile, MeasuresDurationsAndSaysWhatIsNotWhole) {
  TraceText t = opened();
  for (int i = 0; i < 200; ++i) {
    t.read(1000 + 10 * i, 1, 0);
  }
  LibraryProfile profile = buildProfile(t.records());
  EXPECT_EQ(profile.durations["PCAN_GetMotorPos"].us.size(), 200u);
  EXPECT_EQ(profile.durations["PCAN_GetMotorPos"].quantileUs(0.99), 2000);
  // A trace without operator steps (the simulated rig's own) is not taken for one cut off; one
  // whose steps stop before the window's end is.
  EXPECT_EQ(profileTable(profile).find("Not whole"), std::string::npos);
  t.callback(3000, "OnlineCallback(1, 0)");
  std::vector<trace::Record> records = t.records();
  trace::Record step;
  step.kind = trace::Kind::Operator;
  step.timeUs = 2'500'000;
  step.name = "click";
  records.push_back(step);
  trace::Record dropped;
  dropped.kind = trace::Kind::Event;
  dropped.timeUs = 2'600'000;
  dropped.name = trace::kRecordsDropped;
  records.push_back(dropped);
  const std::string table = profileTable(buildProfile(records));
  EXPECT_NE(table.find("records-dropped (line 206)"), std::string::npos);
  EXPECT_NE(table.find("end without the window's end (cut off)"), std::string::npos);
  // Reads of a wheel that never moved prove no lag and no refresh: both left out, and said why.
  const std::string settings = settingsText(simSettings(profile));
  EXPECT_NE(settings.find("# POSITION_LAG_MS: no move's position reads changed"),
            std::string::npos);
  EXPECT_EQ(settings.find("HALVANE_SIM_POSITION_LAG_MS="), std::string::npos);
}

}  // namespace
}  // namespace halvane::tools
