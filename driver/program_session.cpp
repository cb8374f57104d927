#include "driver/program_session.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "driver/driver_report.h"
#include "driver/wait_until.h"
#include "trace/ring_reader.h"

namespace halvane::e2e {
namespace {

constexpr DWORD kStartTimeoutMs = 30000;

std::wstring unixToWindows(const std::string& path) {
  std::wstring windows = L"Z:" + widen(path);
  for (wchar_t& c : windows) {
    if (c == L'/') {
      c = L'\\';
    }
  }
  return windows;
}

void removeTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") {
        continue;
      }
      const std::wstring path = folder + L"\\" + name;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        removeTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

// The driver's environment with the session's settings laid over it, as an environment block.
std::wstring environmentBlock(const std::map<std::wstring, std::wstring>& settings) {
  std::map<std::wstring, std::wstring> variables;
  wchar_t* inherited = GetEnvironmentStringsW();
  for (const wchar_t* entry = inherited; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring text = entry;
    const size_t equals = text.find(L'=', 1);
    if (equals != std::wstring::npos && text.rfind(L"HALVANE_SIM_", 0) != 0) {
      variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
  }
  FreeEnvironmentStringsW(inherited);
  for (const auto& [name, value] : settings) {
    variables[name] = value;
  }
  std::wstring block;
  for (const auto& [name, value] : variables) {
    block += name + L"=" + value;
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

// The driver's own output is the test runner's pipe. Were the program to inherit its handles, the
// runner would wait for the program too before it could see the driver end.
void keepDriverOutputToItself() {
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
  }
}

HWND findMainWindow(DWORD processId) {
  for (HWND window : visibleDialogsOf(processId)) {
    if (windowText(window) == kMainTitle && GetDlgItem(window, 1016) != nullptr) {
      return window;
    }
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> ProgramSession::standInTraces() const {
  return standInTracesIn(libraryFolder_ + L"\\traces");
}

std::vector<std::string> standInTracesIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\halvane-*.trace").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      names.push_back(entry.cFileName);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  std::sort(names.begin(), names.end());  // numbered in the order the runs started
  std::vector<std::string> texts;
  for (const std::wstring& name : names) {
    std::string bytes;
    // The stand-in keeps its file mapped for writing while the program runs.
    const HANDLE file =
        CreateFileW((folder + L"\\" + name).c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      char buffer[65536];
      DWORD read = 0;
      while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        bytes.append(buffer, read);
      }
      CloseHandle(file);
    }
    texts.push_back(trace::traceText(bytes));
  }
  return texts;
}

std::string readFile(const std::wstring& path) {
  std::ifstream in(narrow(path), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool desktopIsUp() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return false;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    found = _wcsicmp(entry.szExeFile, L"explorer.exe") == 0;
  }
  CloseHandle(snapshot);
  return found;
}

void endDriver(int code) {
  std::fflush(stdout);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  std::_Exit(code);
}

std::wstring programPath() {
  return unixToWindows(HALVANE_E2E_PROGRAM);
}
std::wstring simulatorPath() {
  return unixToWindows(HALVANE_E2E_SIMULATOR);
}
std::wstring tracerPath() {
  return unixToWindows(HALVANE_E2E_TRACER);
}

bool SessionOptions::throughTracerByDefault() {
  wchar_t value[8] = {};
  return GetEnvironmentVariableW(L"HALVANE_E2E_THROUGH_TRACER", value, 8) > 0 &&
         std::wstring(value) == L"1";
}

std::wstring runsFolder() {
  return unixToWindows(HALVANE_E2E_RUNS);
}

std::wstring freshTestFolder(const std::wstring& wanted) {
  const std::string run = currentRunName();
  std::wstring name = !wanted.empty() ? wanted : !run.empty() ? widen(run) : L"session";
  if (wanted.empty() && SessionOptions::throughTracerByDefault()) {
    name += L".through-tracer";  // the same case runs both ways side by side
  }
  const std::wstring folder = runsFolder() + L"\\" + name;
  CreateDirectoryW(runsFolder().c_str(), nullptr);
  removeTree(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

ProgramSession::ProgramSession(const SessionOptions& options)
    : folder_(freshTestFolder(options.folderName)) {
  if (!desktopIsUp()) {
    reportFailure(
        "Wine's desktop is not up: run the drivers in the Wine session of scripts/lib/wine.sh "
        "(halvane_wine_session)");
    return;
  }
  const std::wstring exe = folder_ + L"\\Halvane.exe";
  CopyFileW(programPath().c_str(), exe.c_str(), FALSE);
  const std::wstring installed = folder_ + L"\\installed";
  libraryFolder_ = options.simulatorOnPath ? installed : folder_;
  if (options.withSimulator) {
    CreateDirectoryW(libraryFolder_.c_str(), nullptr);
    const std::wstring library = libraryFolder_ + L"\\PUSICANControl.dll";
    if (options.throughTracer) {
      if (!options.tracerWithoutVendor) {
        CopyFileW(simulatorPath().c_str(),
                  (libraryFolder_ + L"\\PUSICANControl.vendor.dll").c_str(), FALSE);
      }
      CopyFileW(tracerPath().c_str(), library.c_str(), FALSE);
    } else {
      CopyFileW(simulatorPath().c_str(), library.c_str(), FALSE);
    }
  }
  for (const auto& [source, name] : options.libraryFolderFiles) {
    CopyFileW(source.c_str(), (libraryFolder_ + L"\\" + name).c_str(), FALSE);
  }
  const std::wstring startFolder = folder_ + L"\\start";
  CreateDirectoryW(startFolder.c_str(), nullptr);
  for (const auto& [source, name] : options.startFolderFiles) {
    CopyFileW(source.c_str(), (startFolder + L"\\" + name).c_str(), FALSE);
  }

  keepDriverOutputToItself();
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  output_ = CreateFileW((folder_ + L"\\stdout.txt").c_str(), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = output_;
  startup.hStdError = output_;

  auto settings = options.simulatorSettings;
  settings[L"HALVANE_SIM_TRACE"] = traceFile();
  settings.try_emplace(L"HALVANE_SIM_VIEW", L"0");  // the rig's window only where a case asks
  if (options.simulatorOnPath) {
    wchar_t path[32768] = {};
    GetEnvironmentVariableW(L"PATH", path, 32768);
    settings[L"PATH"] = installed + L";" + path;
  }
  std::wstring environment = environmentBlock(settings);
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, environment.data(), startFolder.c_str(), &startup,
                      &processInfo_)) {
    reportFailure("could not start " + narrow(exe) + ": error " + std::to_string(GetLastError()));
    return;
  }
  const DWORD processId = processInfo_.dwProcessId;
  waitUntil([&] { return (window_ = findMainWindow(processId)) != nullptr; },
            std::chrono::milliseconds(kStartTimeoutMs));
  if (window_ == nullptr) {
    reportFailure("the main window did not appear");
    return;
  }
  probe_.attach(window_, processId);
  probe_.responds();
}

ProgramSession::~ProgramSession() {
  if (processInfo_.hProcess != nullptr) {
    if (!hasExited(0)) {
      if (window_ != nullptr) {
        PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      }
      if (!hasExited(5000)) {
        TerminateProcess(processInfo_.hProcess, 1);
        WaitForSingleObject(processInfo_.hProcess, 10000);
      }
    }
    CloseHandle(processInfo_.hThread);
    CloseHandle(processInfo_.hProcess);
  }
  if (output_ != INVALID_HANDLE_VALUE) {
    CloseHandle(output_);
  }
}

std::string ProgramSession::standardOutput() const {
  return readFile(folder_ + L"\\stdout.txt");
}

std::vector<std::string> ProgramSession::trace() const {
  std::vector<std::string> lines;
  std::istringstream text(readFile(traceFile()));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

bool ProgramSession::waitForCalls(const std::string& prefix, size_t count, DWORD timeoutMs) const {
  return waitUntil([&] { return countStartingWith(calls(), prefix) >= count; },
                   std::chrono::milliseconds(timeoutMs));
}

bool ProgramSession::closeByEscape() {
  probe_.pressEscape();
  return hasExited(10000);
}

bool ProgramSession::hasExited(DWORD timeoutMs) const {
  return WaitForSingleObject(processInfo_.hProcess, timeoutMs) == WAIT_OBJECT_0;
}

}  // namespace halvane::e2e
