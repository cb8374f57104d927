// halvane-trace: reads any trace of the simulated rig or the recording stand-in.
//   halvane-trace summary FILE
//   halvane-trace timeline FILE [-o OUT.html]
//   halvane-trace diff [--ignore-wait-reads] A B
//   halvane-trace text FILE [-o OUT]
//   halvane-trace doctor FILE
//   halvane-trace profile FILE [--settings OUT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "tools/halvane-trace/command_line.h"
#include "tools/halvane-trace/doctor.h"
#include "tools/halvane-trace/library_profile.h"
#include "tools/halvane-trace/profile_settings.h"
#include "tools/halvane-trace/record_cursor.h"
#include "tools/halvane-trace/summary.h"
#include "tools/halvane-trace/timeline.h"
#include "tools/halvane-trace/trace_diff.h"
#include "trace/file_path.h"
#include "trace/line_sink.h"
#include "trace/trace_reader.h"
#include "trace/trace_writer.h"

namespace {

constexpr char kUsage[] =
    "usage: halvane-trace summary FILE\n"
    "       halvane-trace timeline FILE [-o OUT.html]\n"
    "       halvane-trace diff [--ignore-wait-reads] A B\n"
    "       halvane-trace text FILE [-o OUT]\n"
    "       halvane-trace doctor FILE\n"
    "       halvane-trace profile FILE [--settings OUT]\n"
    "profile: the controller library as the trace shows it, measured, and the simulated rig's\n"
    "settings that make it behave so (with --settings also written to OUT, for scripts/run)\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

// The file's first record; nothing, with a word on standard error, where the file cannot be opened
// or holds no record.
const halvane::trace::Record* firstRecord(halvane::tools::FileCursor& file,
                                          const std::string& path) {
  if (!file.opened()) {
    std::cerr << "halvane-trace: cannot open " << path << "\n";
    return nullptr;
  }
  const halvane::trace::Record* first = file.next();
  if (!first) {
    std::cerr << "halvane-trace: no trace in " << path
              << (file.error() ? ": " + halvane::trace::describe(*file.error()) : "") << "\n";
  }
  return first;
}

// A trace file read with words on standard error: how far it has got, where reading takes more
// than a second, and, at its end, where a cut-off or corrupt trace was read up to.
class ReportedFile final : public halvane::tools::RecordCursor {
 public:
  ReportedFile(std::string path, bool sayFault)
      : path_(std::move(path)), file_(path_), sayFault_(sayFault) {}
  ~ReportedFile() override { end(); }
  const std::optional<halvane::trace::ReadError>& error() const { return file_.error(); }
  // False, with a word on standard error, where the file cannot be opened or holds no record;
  // the first record is then handed on by the first next(), so the file is read once.
  bool readable() {
    first_ = firstRecord(file_, path_);
    ended_ = first_ == nullptr;
    return first_ != nullptr;
  }

  const halvane::trace::Record* next() override {
    if (first_ != nullptr) {
      return std::exchange(first_, nullptr);
    }
    const halvane::trace::Record* record = file_.next();
    if (++records_ % 4096 == 0 && Clock::now() >= nextProgress_) {
      std::fprintf(stderr, "\rhalvane-trace: %s %3.0f%%", path_.c_str(), 100 * file_.fraction());
      progressShown_ = true;
      nextProgress_ = Clock::now() + std::chrono::milliseconds(250);
    }
    if (!record) {
      end();
    }
    return record;
  }

 private:
  using Clock = std::chrono::steady_clock;

  void end() {
    if (ended_) {
      return;
    }
    ended_ = true;
    if (progressShown_) {
      std::fprintf(stderr, "\rhalvane-trace: %s read in %.1f s\n", path_.c_str(),
                   std::chrono::duration<double>(Clock::now() - started_).count());
    }
    if (const auto& error = file_.error(); error && sayFault_) {
      // A cut-off last line is what a trace whose program died looks like: read what is whole.
      std::cerr << "halvane-trace: " << path_ << ", " << halvane::trace::describe(*error)
                << (error->cutOff ? " (read up to there)"
                                  : " (read up to there; the rest is skipped)")
                << "\n";
    }
  }

  // Timed from before the file is opened: a ring trace is read whole when it is.
  Clock::time_point started_ = Clock::now();
  Clock::time_point nextProgress_ = started_ + std::chrono::seconds(1);
  std::string path_;
  halvane::tools::FileCursor file_;
  bool sayFault_;
  bool ended_ = false;
  size_t records_ = 0;
  bool progressShown_ = false;
  const halvane::trace::Record* first_ = nullptr;
};

// False, with a word on standard error, where the file cannot be opened or holds no record.
bool readable(const std::string& path) {
  halvane::tools::FileCursor file(path);
  return firstRecord(file, path) != nullptr;
}

// Hands each record of the file on, one at a time. False when there is nothing to read. Where the
// reading stopped before the file's end, `error` says where.
bool forEachRecord(const std::string& path, bool sayFault,
                   const std::function<void(const halvane::trace::Record&)>& use,
                   std::optional<halvane::trace::ReadError>* error = nullptr) {
  ReportedFile file(path, sayFault);
  if (!file.readable()) {
    return false;
  }
  while (const halvane::trace::Record* record = file.next()) {
    use(*record);
  }
  if (error != nullptr) {
    *error = file.error();
  }
  return true;
}

// 0 when nothing was found, 1 with findings, 2 on a usage error or a trace that cannot be read.
int doctorCommand(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    return usage();
  }
  halvane::tools::Doctor doctor;
  std::optional<halvane::trace::ReadError> error;
  if (!forEachRecord(
          args[1], true, [&](const halvane::trace::Record& r) { doctor.add(r); }, &error)) {
    return 2;
  }
  const halvane::tools::Doctor::Result result = doctor.finish(error);
  std::cout << halvane::tools::doctorText(result.findings, result.model);
  return result.findings.empty() ? 0 : 1;
}

// Each sequence is compared in a read of its own; a file's fault is told on its first read.
halvane::tools::TraceOpener openerOf(const std::string& path) {
  return [path, opened = 0]() mutable -> std::unique_ptr<halvane::tools::RecordCursor> {
    return std::make_unique<ReportedFile>(path, opened++ == 0);
  };
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
  if (!readable(files[0]) || !readable(files[1])) {
    return 2;
  }
  const halvane::tools::TraceDiff diff =
      halvane::tools::diffTraces(openerOf(files[0]), openerOf(files[1]), options);
  if (diff.same) {
    std::cout << "the traces agree\n";
    return 0;
  }
  std::cout << "--- " << files[0] << "\n+++ " << files[1] << "\n" << diff.report;
  return 1;
}

// Any trace as text lines, the field tracer's included: to standard output, or to OUT with the
// line ends every trace file has.
int textCommand(const std::vector<std::string>& args) {
  if (args.size() != 2 && !(args.size() == 4 && args[2] == "-o")) {
    return usage();
  }
  std::ofstream file;
  if (args.size() == 4) {
    file.open(halvane::trace::nativeFilePath(args[3]), std::ios::binary);
    if (!file) {
      std::cerr << "halvane-trace: cannot write " << args[3] << "\n";
      return 1;
    }
  }
  std::ostream& out = args.size() == 4 ? static_cast<std::ostream&>(file) : std::cout;
  const std::string end = args.size() == 4 ? std::string(halvane::trace::kLineEnd) : "\n";
  if (!forEachRecord(args[1], true, [&](const halvane::trace::Record& r) {
        out << halvane::trace::formatRecord(r) << end;
      })) {
    return 1;
  }
  out.flush();
  return out ? 0 : 1;
}

// The library's profile: the table, then the rig's settings; with --settings the settings also
// go to OUT.
int profileCommand(const std::vector<std::string>& args) {
  if (args.size() != 2 && !(args.size() == 4 && args[2] == "--settings")) {
    return usage();
  }
  halvane::tools::ProfileBuilder builder;
  if (!forEachRecord(args[1], true, [&](const halvane::trace::Record& r) { builder.add(r); })) {
    return 1;
  }
  const halvane::tools::LibraryProfile profile = builder.finish();
  const std::string settings = halvane::tools::settingsText(halvane::tools::simSettings(profile));
  std::cout << "The library as " << args[1] << " shows it\n"
            << halvane::tools::profileTable(profile) << "\n"
            << settings;
  if (args.size() == 4) {
    std::ofstream out(halvane::trace::nativeFilePath(args[3]), std::ios::binary);
    out << settings;
    if (!out) {
      std::cerr << "halvane-trace: cannot write " << args[3] << "\n";
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace halvane;
  const std::vector<std::string> args = tools::commandLineArguments(argc, argv);
  tools::showUtf8OnConsole();
  if (!args.empty() && args[0] == "diff") {
    return diffCommand(args);
  }
  if (!args.empty() && args[0] == "text") {
    return textCommand(args);
  }
  if (!args.empty() && args[0] == "doctor") {
    return doctorCommand(args);
  }
  if (!args.empty() && args[0] == "profile") {
    return profileCommand(args);
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
  if (!forEachRecord(args[1], true, [&](const trace::Record& r) { builder.add(r); })) {
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
  forEachRecord(args[1], false, [&](const trace::Record& r) { page.add(r); });
  std::ofstream out(trace::nativeFilePath(output), std::ios::binary);
  out << page.html("Halvane trace: " + args[1]);
  if (!out) {
    std::cerr << "halvane-trace: cannot write " << output << "\n";
    return 1;
  }
  std::cout << output << "\n";
  return 0;
}
