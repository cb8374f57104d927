// halvane-trace: reads any trace of the simulated rig or the recording stand-in.
//   halvane-trace summary FILE
//   halvane-trace timeline FILE [-o OUT.html]
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/halvane-trace/summary.h"
#include "tools/halvane-trace/timeline.h"
#include "trace/trace_reader.h"

namespace {

constexpr char kUsage[] =
    "usage: halvane-trace summary FILE\n"
    "       halvane-trace timeline FILE [-o OUT.html]\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace halvane;
  const std::vector<std::string> args(argv + 1, argv + argc);
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
  std::ifstream in(args[1], std::ios::binary);
  if (!in) {
    std::cerr << "halvane-trace: cannot open " << args[1] << "\n";
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  trace::ReadResult read = trace::readTrace(text.str());
  if (read.error) {
    // A cut-off last line is what a trace whose program died looks like: read what is whole.
    std::cerr << "halvane-trace: " << args[1] << ", " << trace::describe(*read.error)
              << (read.error->cutOff ? " (read up to there)"
                                     : " (read up to there; the rest is skipped)")
              << "\n";
    if (read.records.empty()) {
      return 1;
    }
  }
  const tools::SessionModel model = tools::buildModel(std::move(read.records));
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
