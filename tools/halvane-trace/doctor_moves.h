// The doctor's reading of the moves: rest reports lost (the move came to rest and none came),
// rest reports stale (the position moved after one), and homings that never reached their switch.
// Fed the records in the order of their times; holds one move per node.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/halvane-trace/doctor_findings.h"
#include "tools/halvane-trace/start_reports.h"

namespace halvane::tools {

// What the trace's end leaves open, told with the finding on how it ends.
struct OpenAtEnd {
  std::string text;
  std::vector<size_t> lines;
};

class MoveDoctor {
 public:
  explicit MoveDoctor(FindingList& findings) : findings_(findings) {}
  void call(const TraceLine& call);
  void callback(const TraceLine& callback);
  // The simulated rig's word that a node came to rest ("rest node=1 ... report=lost").
  void event(const TraceLine& event);
  // Records lost from the trace here (the ring overwrote them, a kill cut them off).
  void gap(const TraceLine& event);
  // A message box on the thread of a homing that waits for rest: true where it is the homing's
  // own (its switch not reached, its bound passed), told as such.
  bool message(const TraceLine& step);
  // `whole`: the trace holds the window's end and lost nothing. What it leaves open.
  std::vector<OpenAtEnd> finish(bool whole, int64_t lastUs);

  struct Read {
    int64_t us = 0;
    size_t line = 0;
    int value = 0;
  };

 private:
  // A move from its start to the next on its node.
  struct Watch {
    int node = 0;
    int64_t startUs = 0;
    size_t startLine = 0;
    unsigned long thread = 0;
    int steps = 0;
    bool homing = false;
    bool waiting = true;       // a homing: no call on its node yet but the wait's reads
    std::optional<Read> gpio;  // a homing: the input word read before it
    std::optional<Read> last;  // the latest position read, from before the start on
    bool zeroed = false;       // the position was set to 0 since: later reads say nothing of it
    bool changed = false;      // the position changed after the start
    std::optional<Read> stillFrom;  // the stretch of reads the position stands in
    std::optional<Read> stillTo;
    std::optional<Read> stillShown;  // the stretch's second read, the first to show it still
    std::optional<Read> switchStop;  // a control status read with the switch's stop bit
    std::optional<Read> lastStatus;
    std::optional<Read> rigRest;
    std::optional<Read> report;       // the latest rest report no position read contradicts
    std::optional<Read> afterReport;  // the first position read after it
    std::optional<size_t> staleReportLine;
    std::optional<size_t> gapLine;
  };

  void start(const TraceLine& call, int node);
  void position(Watch& watch, const TraceLine& call);
  // The earliest read that shows the move at rest, if any does.
  static std::optional<Read> restShown(const Watch& watch);
  // Every read that shows it, and their lines.
  static std::string restWords(const Watch& watch, std::vector<size_t>& lines);
  static std::string stillWords(const Watch& watch);
  static std::string moveWords(const Watch& watch);
  void close(const Watch& watch, const TraceLine& next);

  FindingList& findings_;
  std::map<int, Watch> moves_;
  StartReports startReports_;
  std::map<int, bool> armed_;
  std::map<int, Read> gpio_;
  std::map<int, Read> lastPosition_;
};

}  // namespace halvane::tools
