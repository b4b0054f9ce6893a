#pragma once

#include <cstdint>

namespace ltf {

// A failed Windows call: its GetLastError code, or an NTSTATUS already mapped by
// RtlNtStatusToDosError.
struct WindowsError {
  std::uint32_t code = 0;
};

}  // namespace ltf
