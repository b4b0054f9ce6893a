#pragma once

#include <cstdint>

namespace ltf {

// A failed Windows call: its GetLastError code, or an NTSTATUS already mapped by
// RtlNtStatusToDosError.
struct WindowsError {
  std::uint32_t code = 0;
};

inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER

}  // namespace ltf
