// One run of the real Halvane.exe in a fresh folder of its own, with or without the simulated
// library beside it, ended (and never left behind) when the session goes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "common/wide_text.h"  // narrow, widen
#include "driver/sim_trace.h"
#include "driver/window_probe.h"

namespace halvane::e2e {

struct SessionOptions {
  bool withSimulator = true;
  // Installed in a folder of its own on the program's PATH instead of beside the program.
  bool simulatorOnPath = false;
  // HALVANE_SIM_* settings for the simulated library (the trace file is always set).
  std::map<std::wstring, std::wstring> simulatorSettings;
  // The run folder's name; the current test's name when empty.
  std::wstring folderName;
  // Extra files to lay into the folder the program is started from, as (source, name) pairs.
  std::vector<std::pair<std::wstring, std::wstring>> startFolderFiles;
  // The same for the folder the library is installed in.
  std::vector<std::pair<std::wstring, std::wstring>> libraryFolderFiles;
  // The recording stand-in installed under the library's name, the simulated library renamed
  // beside it as the vendor's; by default when the driver runs with HALVANE_E2E_THROUGH_TRACER=1.
  bool throughTracer = throughTracerByDefault();
  bool tracerWithoutVendor = false;
  static bool throughTracerByDefault();
};

class ProgramSession {
 public:
  explicit ProgramSession(const SessionOptions& options = {});
  ~ProgramSession();
  ProgramSession(const ProgramSession&) = delete;
  ProgramSession& operator=(const ProgramSession&) = delete;

  bool started() const { return window_ != nullptr; }
  DWORD processId() const { return processInfo_.dwProcessId; }
  HANDLE process() const { return processInfo_.hProcess; }
  WindowProbe& window() { return probe_; }

  // Everything the program wrote to standard output so far.
  std::string standardOutput() const;
  // The simulated library's trace, one line per entry.
  std::vector<std::string> trace() const;
  std::vector<std::string> calls() const { return callsIn(parseTrace(trace())); }
  // Waits until `count` calls starting with `prefix` have reached the simulated library.
  bool waitForCalls(const std::string& prefix, size_t count, DWORD timeoutMs = 10000) const;
  std::wstring traceFile() const { return folder_ + L"\\sim-trace.txt"; }
  std::wstring folder() const { return folder_; }
  // Where the library is installed (and the stand-in's traces folder beside it).
  std::wstring libraryFolder() const { return libraryFolder_; }
  // The recording stand-in's traces in its folder beside the library, oldest first.
  std::vector<std::string> standInTraces() const;

  // Ends the program the way an operator does (Esc) and waits for the process to go.
  bool closeByEscape();
  bool hasExited(DWORD timeoutMs) const;

 private:
  std::wstring folder_;
  std::wstring libraryFolder_;
  HANDLE output_ = INVALID_HANDLE_VALUE;
  PROCESS_INFORMATION processInfo_{};
  HWND window_ = nullptr;
  WindowProbe probe_;
};

// Whether Wine's desktop is up. A program the driver starts may not start it: the desktop would be
// that program's child, holding the driver's Unix standard error (the test runner's pipe) for as
// long as it lives. The Wine session of the scripts keeps one up through the run.
bool desktopIsUp();

// Ends the driver at once with `code`, its output flushed: a driver has nothing to tear down.
[[noreturn]] void endDriver(int code);

// Paths of the binaries under test, as Windows paths.
std::wstring programPath();
std::wstring simulatorPath();
std::wstring tracerPath();
// Where every test's run folder goes.
std::wstring runsFolder();
// A folder for this test's files (or the one named), emptied first.
std::wstring freshTestFolder(const std::wstring& name = {});
// A file's bytes; empty when it cannot be read.
std::string readFile(const std::wstring& path);
// The recording stand-in's traces (halvane-NNNNNN.trace) in `folder`, oldest first, each as the
// text of a trace; read as they stand, while the stand-in may still be writing them.
std::vector<std::string> standInTracesIn(const std::wstring& folder);

}  // namespace halvane::e2e
