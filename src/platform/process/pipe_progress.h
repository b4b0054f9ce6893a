#pragma once

// What a finished read means for the pipe it read: apart from the Windows calls, so that the
// rule can be checked anywhere.
#include <cstddef>
#include <cstdint>
#include <expected>

#include "platform/windows_error.h"

namespace ltf {

inline constexpr std::uint32_t kErrorHandleEof = 38;    // ERROR_HANDLE_EOF
inline constexpr std::uint32_t kErrorBrokenPipe = 109;  // ERROR_BROKEN_PIPE

// The errors with which a read reports that the writer has closed its end.
constexpr bool IsEndOfPipe(std::uint32_t error) {
  return error == kErrorHandleEof || error == kErrorBrokenPipe;
}

// How far the reading of one pipe has come.
struct PipeProgress {
  std::size_t length = 0;  // bytes received so far
  bool at_end = false;
};

// Takes in a finished ReadFile or GetOverlappedResult: whether it succeeded, the bytes it
// read, and GetLastError when it failed. A success with 0 bytes is not the end: it is what a
// writer's WriteFile of 0 bytes gives the reader.
inline std::expected<void, WindowsError> TakeFinishedRead(PipeProgress& progress, bool succeeded,
                                                          std::uint32_t count,
                                                          std::uint32_t error) {
  if (!succeeded) {
    if (!IsEndOfPipe(error)) {
      return std::unexpected(WindowsError{error});
    }
    progress.at_end = true;
    return {};
  }
  progress.length += count;
  return {};
}

}  // namespace ltf
