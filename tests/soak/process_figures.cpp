#include "tests/soak/process_figures.h"

#include <psapi.h>

#include <algorithm>
#include <vector>

namespace halvane::soak {
namespace {

// The system-wide handle table, as NtQuerySystemInformation gives it.
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004L);

struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};

struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

// Where GetProcessHandleCount knows no answer (Wine gives 0), count the process's entries in the
// system's handle table instead.
std::optional<uint32_t> handlesFromSystemTable(DWORD processId) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (query == nullptr) {
    return std::nullopt;
  }
  std::vector<unsigned char> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(kSystemExtendedHandleInformation, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
      continue;
    }
    if (status < 0) {
      return std::nullopt;
    }
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    uint32_t count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
      count += table->entries[i].processId == processId ? 1 : 0;
    }
    return count;
  }
  return std::nullopt;
}

// Where PrivateUsage reads 0 (Wine), add up the committed private regions of the address space.
std::optional<uint64_t> privateFromAddressSpace(HANDLE process) {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* at = nullptr;
       VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region);) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      total += region.RegionSize;
    }
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) {
      break;
    }
    at = next;
  }
  return total > 0 ? std::optional<uint64_t>(total) : std::nullopt;
}

}  // namespace

std::optional<uint32_t> handleCount(HANDLE process) {
  DWORD count = 0;
  if (GetProcessHandleCount(process, &count) && count > 0) {
    return count;
  }
  return handlesFromSystemTable(GetProcessId(process));
}

std::optional<uint64_t> privateBytes(HANDLE process) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters)) &&
      counters.PrivateUsage > 0) {
    return counters.PrivateUsage;
  }
  return privateFromAddressSpace(process);
}

}  // namespace halvane::soak
