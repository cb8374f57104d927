// PUSICANControl.dll, the recording stand-in: the vendor's library renamed to
// PUSICANControl.vendor.dll beside it is loaded by its full path on first use (never in DllMain,
// which runs under the loader lock), its exports looked up once, and every call is forwarded to it
// and traced into a file mapped into memory: its pages belong to the system, so what was written
// outlives a crash or a kill of the process, and a thread of ours hands them to the disk every
// 100 ms against a power loss. With no vendor library beside it the stand-in refuses to load, so
// the program behaves as with no library at all; the trace says why.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/controller_exports.h"
#include "common/wide_text.h"
#include "trace/ring_writer.h"
#include "trace/trace_writer.h"
#include "tracer/forwarding_tracer.h"
#include "tracer/trace_files.h"

namespace halvane::tracer {
namespace {

constexpr char kTracerVersion[] = "2.0";
constexpr wchar_t kVendorFileName[] = L"PUSICANControl.vendor.dll";
// The vendor's library by its full path; its own dependencies as the program would find them
// without the stand-in: its folder (the program's) first, then the system's folders and PATH. The
// current folder stays out because the program took it out of the search (SetDllDirectoryW(L""))
// before its first load.
constexpr char kVendorSearch[] = "full-path,altered-search-path";
// The short trace that says the vendor's library is absent.
constexpr uint64_t kNoteFileBytes = 64 * 1024;
constexpr DWORD kFlushEveryMs = 100;
constexpr uint64_t kPageBytes = 4096;
constexpr size_t kReserveChunkBytes = 1 << 20;  // written a piece at a time when the file is made

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

// The raw counter: no division on the calls' path; the reader turns it into time.
class QpcClock final : public TracerClock {
 public:
  int64_t nowTicks() override {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
  }
  uint32_t threadId() override { return GetCurrentThreadId(); }
};

WallTime localNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

std::vector<std::string> namesIn(const std::wstring& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  const HANDLE find = FindFirstFileW((folder + L"\\halvane-*.trace").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) {
    return names;
  }
  do {
    names.push_back(narrow(entry.cFileName));
  } while (FindNextFileW(find, &entry));
  FindClose(find);
  return names;
}

// The traces folder beside the stand-in, then one under the user's local application data for
// where that cannot be written.
std::vector<std::wstring> traceFolders() {
  std::vector<std::wstring> folders = {ownFolder() + L"\\" + widen(kTracesFolderName)};
  wchar_t local[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH) > 0) {
    folders.push_back(std::wstring(local) + L"\\Halvane\\" + widen(kTracesFolderName));
  }
  return folders;
}

// A trace file created whole in one of the folders and mapped. Kernel calls only: this also runs
// inside DllMain.
class MappedTraceFile final : public TraceSpace {
 public:
  explicit MappedTraceFile(std::vector<std::wstring> folders) : folders_(std::move(folders)) {}

  bool take(size_t folder, uint64_t bytes) override {
    const std::wstring& where = folders_[folder];
    if (folder == 1) {
      CreateDirectoryW(where.substr(0, where.find_last_of(L'\\')).c_str(), nullptr);
    }
    CreateDirectoryW(where.c_str(), nullptr);
    const std::vector<std::string> names = namesIn(where);
    for (const std::string& old : tracesToRemove(names)) {
      DeleteFileW((where + L"\\" + widen(old)).c_str());
    }
    const uint64_t sequence = nextTraceSequence(names);
    for (uint64_t attempt = 0; attempt < 10; ++attempt) {
      path_ = where + L"\\" + widen(traceFileName(sequence + attempt));
      file_ = CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
        break;
      }
    }
    if (file_ == INVALID_HANDLE_VALUE) {
      return false;
    }
    if (reserve(bytes) && map(bytes)) {
      return true;
    }
    release();
    DeleteFileW(path_.c_str());
    return false;
  }

  void* view() const { return view_; }
  uint64_t bytes() const { return bytes_; }
  const std::wstring& path() const { return path_; }
  const std::wstring& folder(size_t index) const { return folders_[index]; }
  // The written pages handed to the disk. Not FlushFileBuffers as well: the pages it cleans make
  // the calls' next writes into them fault, which cost calls up to 5 us in the bench.
  void flush() const { FlushViewOfFile(view_, 0); }
  void release() {
    if (view_ != nullptr) {
      UnmapViewOfFile(view_);
    }
    if (mapping_ != nullptr) {
      CloseHandle(mapping_);
    }
    if (file_ != INVALID_HANDLE_VALUE) {
      CloseHandle(file_);
    }
    view_ = nullptr;
    mapping_ = nullptr;
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  // The disk's room taken now, so that it cannot run out later: every byte of the file written
  // once. Setting the file's end alone takes the room only where the file system allocates at once
  // (NTFS); where it does not (a share, Wine on a Unix disk) a full disk would show only when a
  // page of the mapped file is first touched, as a crash of the program instead of a refusal here.
  bool reserve(uint64_t bytes) {
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(bytes);
    if (!SetFileInformationByHandle(file_, FileAllocationInfo, &allocation, sizeof allocation) &&
        GetLastError() == ERROR_DISK_FULL) {
      return false;
    }
    const std::vector<char> zeros(kReserveChunkBytes);
    for (uint64_t at = 0; at < bytes; at += zeros.size()) {
      const auto chunk = static_cast<DWORD>(std::min<uint64_t>(zeros.size(), bytes - at));
      DWORD written = 0;
      if (!WriteFile(file_, zeros.data(), chunk, &written, nullptr) || written != chunk) {
        return false;
      }
    }
    return true;
  }
  bool map(uint64_t bytes) {
    mapping_ = CreateFileMappingW(file_, nullptr, PAGE_READWRITE, static_cast<DWORD>(bytes >> 32),
                                  static_cast<DWORD>(bytes), nullptr);
    view_ = mapping_ == nullptr
                ? nullptr
                : MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, static_cast<SIZE_T>(bytes));
    bytes_ = bytes;
    if (view_ == nullptr) {
      return false;
    }
    // Every page written once now, so that no call pays for a page's first use.
    auto* pages = static_cast<volatile unsigned char*>(view_);
    for (uint64_t at = 0; at < bytes; at += kPageBytes) {
      pages[at] = 0;
    }
    return true;
  }

  std::vector<std::wstring> folders_;
  std::wstring path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  void* view_ = nullptr;
  uint64_t bytes_ = 0;
};

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

trace::Record header(const WallTime& start, const std::wstring& tracePath, uint64_t bytes) {
  const int64_t originUs =
      originCount.QuadPart / countsPerSecond.QuadPart * 1'000'000 +
      originCount.QuadPart % countsPerSecond.QuadPart * 1'000'000 / countsPerSecond.QuadPart;
  trace::Record r;
  r.kind = trace::Kind::Header;
  r.fields = {{"tracer", kTracerVersion},
              {"pid", std::to_string(GetCurrentProcessId())},
              {"start", isoTime(start)},
              {"clock_origin_us", std::to_string(originUs)},
              {"trace", tracePath.empty() ? "none" : narrow(tracePath)},
              {"limit_bytes", std::to_string(bytes)},
              {"kept", std::to_string(kTracesKept)},
              {"vendor", narrow(vendorPath())},
              {"vendor_search", kVendorSearch}};
  return r;
}

// Said right after the header where the whole size could not be had: the trace holds less of a
// long run, or (nowhere) nothing at all is saved.
trace::Record spaceShortEvent(const SpaceTaken& taken, const MappedTraceFile& file) {
  std::string refused;
  for (const std::string& attempt : taken.refused) {
    const size_t colon = attempt.find(':');
    refused += (refused.empty() ? "" : ", ") +
               narrow(file.folder(std::stoul(attempt.substr(0, colon)))) + " " +
               attempt.substr(colon + 1);
  }
  return trace::eventRecord(
      trace::kTraceSpaceShort,
      {{"wanted_bytes", std::to_string(kTraceFileBytes)},
       {"got_bytes", std::to_string(taken.bytes)},
       {"saved", taken.folder ? "yes" : "no (no disk had room: the trace is kept in memory only)"},
       {"refused", refused}});
}

VendorExports loadVendor(DWORD& error) {
  VendorExports vendor;
  const HMODULE module =
      LoadLibraryExW(vendorPath().c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  error = module == nullptr ? GetLastError() : 0;
  vendor.loaded = module != nullptr;
  for (int i = 0; vendor.loaded && i < kControllerExportCount; ++i) {
    vendor.exports[i] = reinterpret_cast<void*>(GetProcAddress(module, kControllerExportNames[i]));
  }
  return vendor;
}

struct StandIn {
  QpcClock clock;
  MappedTraceFile file{traceFolders()};
  trace::RingWriter ring;
  VendorExports vendor;
  ForwardingTracer tracer{ring, clock, vendor};
};

StandIn* running = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// Kernel calls and stores into the trace only: the heap may be what crashed.
LONG WINAPI crashFilter(EXCEPTION_POINTERS* info) {
  if (running != nullptr && info != nullptr && info->ExceptionRecord != nullptr) {
    running->tracer.crash(info->ExceptionRecord->ExceptionCode,
                          static_cast<uint64_t>(reinterpret_cast<uintptr_t>(
                              info->ExceptionRecord->ExceptionAddress)));
    running->file.flush();
  }
  return previousFilter != nullptr ? previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI flushMain(void* standIn) {
  auto& self = *static_cast<StandIn*>(standIn);
  uint64_t flushed = 0;
  for (;;) {
    Sleep(kFlushEveryMs);
    const uint64_t claimed = self.ring.claimed();
    if (claimed != flushed) {
      self.file.flush();
      flushed = claimed;
    }
  }
}

StandIn& create() {
  const WallTime start = localNow();
  auto* standIn = new StandIn;
  const SpaceTaken taken = takeTraceSpace(standIn->file, traceFolders().size());
  void* memory = standIn->file.view();
  uint64_t bytes = standIn->file.bytes();
  if (!taken.folder) {
    // No disk had room: the calls are still traced, in memory, and the run goes on unchanged.
    bytes = kSmallestTraceFileBytes;
    memory =
        VirtualAlloc(nullptr, static_cast<SIZE_T>(bytes), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  standIn->ring.start(memory, bytes, countsPerSecond.QuadPart, originCount.QuadPart);
  DWORD error = 0;
  standIn->vendor = loadVendor(error);
  trace::Record head = header(start, taken.folder ? standIn->file.path() : L"", bytes);
  if (standIn->vendor.loaded) {
    head.fields.push_back({"vendor_version", fileVersion(vendorPath())});
    fileFacts(vendorPath(), head.fields);
  }
  standIn->tracer.write(head);
  if (!taken.refused.empty()) {
    standIn->tracer.write(spaceShortEvent(taken, standIn->file));
  }
  if (!standIn->vendor.loaded) {
    standIn->tracer.write(
        trace::eventRecord("vendor-load-failed", {{"error", std::to_string(error)}}));
  }
  ForwardingTracer::install(&standIn->tracer);
  running = standIn;
  previousFilter = SetUnhandledExceptionFilter(crashFilter);
  if (taken.folder) {
    standIn->file.flush();
    const HANDLE flusher = CreateThread(nullptr, 0, flushMain, standIn, 0, nullptr);
    if (flusher != nullptr) {
      CloseHandle(flusher);
    }
  }
  return *standIn;
}

// Inside DllMain: with no vendor library beside it, a short trace says so, and the load fails.
bool vendorPresent() {
  if (GetFileAttributesW(vendorPath().c_str()) != INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  const WallTime start = localNow();
  MappedTraceFile file(traceFolders());
  for (size_t folder = 0; folder < traceFolders().size(); ++folder) {
    if (!file.take(folder, kNoteFileBytes)) {
      continue;
    }
    QpcClock clock;
    trace::RingWriter ring;
    ring.start(file.view(), file.bytes(), countsPerSecond.QuadPart, originCount.QuadPart);
    const VendorExports none;
    ForwardingTracer note(ring, clock, none);
    note.write(header(start, file.path(), file.bytes()));
    note.write(trace::eventRecord(
        "vendor-absent",
        {{"path", narrow(vendorPath())},
         {"effect", "the stand-in refuses to load, as if no library were installed"}}));
    file.flush();
    file.release();
    break;
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
