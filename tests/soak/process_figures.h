// What the soak watches of the program's resources: open handles and committed private memory.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

namespace halvane::soak {

// The process's open handles; nullopt when the system can tell neither way.
std::optional<uint32_t> handleCount(HANDLE process);
// Committed private memory in bytes; nullopt when it cannot be read.
std::optional<uint64_t> privateBytes(HANDLE process);

}  // namespace halvane::soak
