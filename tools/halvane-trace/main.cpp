// halvane-trace: reads any trace of the simulated rig or the recording stand-in.
//   halvane-trace summary FILE
//   halvane-trace timeline FILE [-o OUT.html]
//   halvane-trace diff [--ignore-wait-reads] A B
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>

#include "tools/halvane-trace/summary.h"
#include "tools/halvane-trace/timeline.h"
#include "tools/halvane-trace/trace_diff.h"
#include "trace/trace_reader.h"

namespace {

constexpr char kUsage[] =
    "usage: halvane-trace summary FILE\n"
    "       halvane-trace timeline FILE [-o OUT.html]\n"
    "       halvane-trace diff [--ignore-wait-reads] A B\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

// The records of a trace file; a cut-off or corrupt trace is read up to its fault, with a word on
// standard error. Nothing when there is nothing to read.
std::optional<std::vector<halvane::trace::Record>> readFile(const std::string& path) {
  using namespace halvane;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "halvane-trace: cannot open " << path << "\n";
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  trace::ReadResult read = trace::readTrace(text.str());
  if (read.error) {
    // A cut-off last line is what a trace whose program died looks like: read what is whole.
    std::cerr << "halvane-trace: " << path << ", " << trace::describe(*read.error)
              << (read.error->cutOff ? " (read up to there)"
                                     : " (read up to there; the rest is skipped)")
              << "\n";
    if (read.records.empty()) {
      return std::nullopt;
    }
  }
  return std::move(read.records);
}

// 0 when the two traces agree, 1 with their first differences, 2 on a usage error.
int diffCommand(const std::vector<std::string>& args) {
  halvane::tools::DiffOptions options;
  std::vector<std::string> files;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--ignore-wait-reads") {
      options.ignoreWaitReads = true;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) {
    return usage();
  }
  const auto first = readFile(files[0]);
  const auto second = readFile(files[1]);
  if (!first || !second) {
    return 2;
  }
  const halvane::tools::TraceDiff diff = halvane::tools::diffTraces(*first, *second, options);
  if (diff.same) {
    std::cout << "the traces agree\n";
    return 0;
  }
  std::cout << "--- " << files[0] << "\n+++ " << files[1] << "\n" << diff.report;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace halvane;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "diff") {
    return diffCommand(args);
  }
  if (args.size() < 2 || (args[0] != "summary" && args[0] != "timeline")) {
    return usage();
  }
  std::string output;
  if (args[0] == "timeline") {
    if (args.size() == 4 && args[2] == "-o") {
      output = args[3];
    } else if (args.size() != 2) {
      return usage();
    }
  } else if (args.size() != 2) {
    return usage();
  }
  auto records = readFile(args[1]);
  if (!records) {
    return 1;
  }
  const tools::SessionModel model = tools::buildModel(std::move(*records));
  if (args[0] == "summary") {
    std::cout << tools::summaryText(model);
    return 0;
  }
  if (output.empty()) {
    output = args[1] + ".html";
  }
  std::ofstream out(output, std::ios::binary);
  out << tools::timelineHtml(model, "Halvane trace: " + args[1]);
  if (!out) {
    std::cerr << "halvane-trace: cannot write " << output << "\n";
    return 1;
  }
  std::cout << output << "\n";
  return 0;
}
