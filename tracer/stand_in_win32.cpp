// PUSICANControl.dll, the recording stand-in: the vendor's library renamed to
// PUSICANControl.vendor.dll beside it is loaded by its full path on first use (never in DllMain,
// which runs under the loader lock) and every call is forwarded to it and traced. With no vendor
// library beside it the stand-in refuses to load, so the program behaves as with no library at
// all; the trace says why.
#include <windows.h>

#include <string>
#include <vector>

#include "common/controller_exports.h"
#include "common/wide_text.h"
#include "trace/trace_file.h"
#include "trace/trace_writer.h"
#include "tracer/call_log.h"
#include "tracer/forwarding_tracer.h"
#include "tracer/trace_files.h"

namespace halvane::tracer {
namespace {

constexpr char kTracerVersion[] = "1.0";
constexpr wchar_t kVendorFileName[] = L"PUSICANControl.vendor.dll";
// The vendor's library by its full path; its own dependencies as the program would find them
// without the stand-in: its folder (the program's) first, then the system's folders and PATH. The
// current folder stays out because the program took it out of the search (SetDllDirectoryW(L""))
// before its first load.
constexpr char kVendorSearch[] = "full-path,altered-search-path";

HMODULE selfModule = nullptr;
LARGE_INTEGER originCount{};
LARGE_INTEGER countsPerSecond{};

std::wstring ownFolder() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(selfModule, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring vendorPath() {
  return ownFolder() + L"\\" + kVendorFileName;
}

class QpcClock final : public TracerClock {
 public:
  int64_t nowUs() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const int64_t counts = now.QuadPart - originCount.QuadPart;
    const int64_t perSecond = countsPerSecond.QuadPart;
    return counts / perSecond * 1'000'000 + counts % perSecond * 1'000'000 / perSecond;
  }
  unsigned long threadId() override { return GetCurrentThreadId(); }
};

class Win32Vendor final : public VendorLookup {
 public:
  explicit Win32Vendor(HMODULE module) : module_(module) {}
  bool loaded() override { return module_ != nullptr; }
  void* find(const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

WallTime localNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::vector<std::string> namesIn(const std::wstring& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\halvane-*.txt").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    names.push_back(narrow(entry.cFileName));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

// The traces folder beside the stand-in, or, where that cannot be written, under the user's
// local application data. Kernel calls only: this also runs inside DllMain.
HANDLE createTraceFile(const WallTime& start, std::wstring& path) {
  std::vector<std::wstring> folders = {ownFolder() + L"\\" + widen(kTracesFolderName)};
  wchar_t local[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH) > 0) {
    CreateDirectoryW((std::wstring(local) + L"\\Halvane").c_str(), nullptr);
    folders.push_back(std::wstring(local) + L"\\Halvane\\" + widen(kTracesFolderName));
  }
  for (const std::wstring& folder : folders) {
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::string& old : tracesToRemove(namesIn(folder))) {
      DeleteFileW((folder + L"\\" + widen(old)).c_str());
    }
    for (int attempt = 0; attempt < 10; ++attempt) {
      path = folder + L"\\" + widen(traceFileName(start, attempt));
      const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        return file;
      }
      if (GetLastError() != ERROR_FILE_EXISTS) {
        break;
      }
    }
  }
  path.clear();
  return INVALID_HANDLE_VALUE;
}

std::string fileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  std::vector<char> data(size);
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr) {
    return "-";
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

// Size and checksum of a file, read in pieces.
void fileFacts(const std::wstring& path, std::vector<trace::Field>& fields) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  uint64_t size = 0;
  uint32_t crc = 0;
  std::vector<char> buffer(65536);
  DWORD read = 0;
  while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
         read > 0) {
    crc = crc32(buffer.data(), read, crc);
    size += read;
  }
  CloseHandle(file);
  char hex[16];
  wsprintfA(hex, "%08lX", static_cast<unsigned long>(crc));
  fields.push_back({"vendor_size", std::to_string(size)});
  fields.push_back({"vendor_crc32", hex});
}

std::vector<trace::Field> headerFields(const WallTime& start, const std::wstring& tracePath) {
  const int64_t originUs =
      originCount.QuadPart / countsPerSecond.QuadPart * 1'000'000 +
      originCount.QuadPart % countsPerSecond.QuadPart * 1'000'000 / countsPerSecond.QuadPart;
  return {{"tracer", kTracerVersion},
          {"pid", std::to_string(GetCurrentProcessId())},
          {"start", isoTime(start)},
          {"clock_origin_us", std::to_string(originUs)},
          {"trace", narrow(tracePath)},
          {"limit_bytes", std::to_string(kTraceFileLimitBytes)},
          {"kept", std::to_string(kTracesKept)},
          {"vendor", narrow(vendorPath())},
          {"vendor_search", kVendorSearch}};
}

HMODULE loadVendor(DWORD& error) {
  const HMODULE module =
      LoadLibraryExW(vendorPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  error = module == nullptr ? GetLastError() : 0;
  return module;
}

struct StandIn;
StandIn* running = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

struct StandIn {
  QpcClock clock;
  std::wstring tracePath;
  trace::TraceFile fileOutput;
  BoundedOutput output;
  CallLog log;
  Win32Vendor vendor;
  ForwardingTracer tracer;

  StandIn(HANDLE traceFile, std::wstring path, HMODULE vendorModule)
      : tracePath(std::move(path)),
        fileOutput(traceFile),
        output(fileOutput, clock, kTraceFileLimitBytes),
        log(output, clock),
        vendor(vendorModule),
        tracer(log, vendor) {}
};

// "0x" and every hex digit of the value, whatever its width (an address is 16 digits in a 64-bit
// build), without the C runtime: the process may be in no state to use it.
void formatHex(char* out, uintptr_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  *out++ = '0';
  *out++ = 'x';
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    *out++ = kDigits[(value >> shift) & 0xF];
  }
  *out = '\0';
}

LONG WINAPI crashFilter(EXCEPTION_POINTERS* info) {
  if (running != nullptr && info != nullptr && info->ExceptionRecord != nullptr) {
    char code[2 + 8 + 1], address[2 + 2 * sizeof(uintptr_t) + 1];
    formatHex(code, info->ExceptionRecord->ExceptionCode, 8);
    formatHex(address, reinterpret_cast<uintptr_t>(info->ExceptionRecord->ExceptionAddress),
              2 * sizeof(uintptr_t));
    trace::Record r;
    r.kind = trace::Kind::Crash;
    r.timeUs = running->clock.nowUs();
    r.threadId = GetCurrentThreadId();
    r.fields = {{"code", code}, {"address", address}};
    running->fileOutput.writeLineAtExit(trace::formatRecord(r));
  }
  return previousFilter != nullptr ? previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

StandIn& create() {
  const WallTime start = localNow();
  std::wstring path;
  const HANDLE file = createTraceFile(start, path);
  DWORD error = 0;
  const HMODULE vendor = loadVendor(error);
  auto* standIn = new StandIn(file, path, vendor);
  trace::Record header;
  header.kind = trace::Kind::Header;
  header.fields = headerFields(start, path);
  if (vendor != nullptr) {
    header.fields.push_back({"vendor_version", fileVersion(vendorPath())});
    fileFacts(vendorPath(), header.fields);
  }
  standIn->log.write(header);
  if (vendor == nullptr) {
    trace::Record failed;
    failed.kind = trace::Kind::Event;
    failed.name = "vendor-load-failed";
    failed.fields = {{"error", std::to_string(error)}};
    standIn->log.write(failed);
  }
  ForwardingTracer::install(&standIn->tracer);
  running = standIn;
  previousFilter = SetUnhandledExceptionFilter(crashFilter);
  standIn->log.startWatch();
  return *standIn;
}

// Inside DllMain: with no vendor library beside it, a short trace says so, and the load fails.
bool vendorPresent() {
  if (GetFileAttributesW(vendorPath().c_str()) != INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  std::wstring path;
  const WallTime start = localNow();
  const HANDLE file = createTraceFile(start, path);
  if (file != INVALID_HANDLE_VALUE) {
    QpcClock clock;
    trace::TraceFile output(file);
    trace::Record r;
    r.kind = trace::Kind::Header;
    r.fields = headerFields(start, path);
    r.threadId = GetCurrentThreadId();
    output.writeLine(trace::formatRecord(r));
    r.kind = trace::Kind::Event;
    r.name = "vendor-absent";
    r.fields = {{"path", narrow(vendorPath())},
                {"effect", "the stand-in refuses to load, as if no library were installed"}};
    r.timeUs = clock.nowUs();
    output.writeLine(trace::formatRecord(r));
  }
  return false;
}

}  // namespace

ForwardingTracer& standInTracer() {
  static StandIn& standIn = create();
  return standIn.tracer;
}

}  // namespace halvane::tracer

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    halvane::tracer::selfModule = instance;
    DisableThreadLibraryCalls(instance);
    QueryPerformanceFrequency(&halvane::tracer::countsPerSecond);
    QueryPerformanceCounter(&halvane::tracer::originCount);
    return halvane::tracer::vendorPresent() ? TRUE : FALSE;
  }
  return TRUE;
}
