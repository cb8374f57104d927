// halvane-trace: reads any trace of the simulated rig or the recording stand-in.
//   halvane-trace summary FILE
//   halvane-trace timeline FILE [-o OUT.html]
//   halvane-trace diff [--ignore-wait-reads] A B
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
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

// Reads a trace a piece at a time, handing each record on, so that no command holds the file.
// A cut-off or corrupt trace is read up to its fault, with a word on standard error; a read that
// takes more than a second says how far it has got on standard error as it goes. False when there
// is nothing to read.
bool forEachRecord(const std::string& path,
                   const std::function<void(const halvane::trace::Record&)>& use) {
  using namespace halvane;
  using Clock = std::chrono::steady_clock;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << "halvane-trace: cannot open " << path << "\n";
    return false;
  }
  in.seekg(0, std::ios::end);
  const auto size = static_cast<double>(std::max<std::streamoff>(1, in.tellg()));
  in.seekg(0);
  const Clock::time_point started = Clock::now();
  Clock::time_point nextProgress = started + std::chrono::seconds(1);
  bool progressShown = false;
  trace::TraceStream stream;
  std::vector<char> piece(1 << 20);
  size_t records = 0;
  double done = 0;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    done += static_cast<double>(in.gcount());
    for (const trace::Record& r : stream.append(std::string_view(piece.data(), in.gcount()))) {
      use(r);
      ++records;
    }
    if (Clock::now() >= nextProgress) {
      std::fprintf(stderr, "\rhalvane-trace: %s %3.0f%%", path.c_str(), 100 * done / size);
      progressShown = true;
      nextProgress = Clock::now() + std::chrono::milliseconds(250);
    }
    if (stream.error()) {
      break;
    }
  }
  stream.finish();
  if (progressShown) {
    std::fprintf(stderr, "\rhalvane-trace: %s read in %.1f s\n", path.c_str(),
                 std::chrono::duration<double>(Clock::now() - started).count());
  }
  if (const auto& error = stream.error()) {
    // A cut-off last line is what a trace whose program died looks like: read what is whole.
    std::cerr << "halvane-trace: " << path << ", " << trace::describe(*error)
              << (error->cutOff ? " (read up to there)"
                                : " (read up to there; the rest is skipped)")
              << "\n";
  }
  return records > 0;
}

std::optional<std::vector<halvane::trace::Record>> readFile(const std::string& path) {
  std::vector<halvane::trace::Record> records;
  if (!forEachRecord(path, [&](const halvane::trace::Record& r) { records.push_back(r); })) {
    return std::nullopt;
  }
  return records;
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
  tools::ModelBuilder builder;
  if (!forEachRecord(args[1], [&](const trace::Record& r) { builder.add(r); })) {
    return 1;
  }
  const tools::SessionModel model = builder.finish();
  if (args[0] == "summary") {
    std::cout << tools::summaryText(model);
    return 0;
  }
  if (output.empty()) {
    output = args[1] + ".html";
  }
  tools::TimelinePage page(model);
  forEachRecord(args[1], [&](const trace::Record& r) { page.add(r); });
  std::ofstream out(output, std::ios::binary);
  out << page.html("Halvane trace: " + args[1]);
  if (!out) {
    std::cerr << "halvane-trace: cannot write " << output << "\n";
    return 1;
  }
  std::cout << output << "\n";
  return 0;
}
