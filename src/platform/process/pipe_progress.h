#pragma once

// What a finished read means for the pipe it read: apart from the Windows calls, so that the
// rule can be checked anywhere.
#include <cstddef>
#include <cstdint>
#include <expected>

#include "platform/windows_codes.h"
#include "platform/windows_error.h"

namespace ltf {

// The errors with which a read reports that the writer has closed its end.
constexpr bool IsEndOfPipe(std::uint32_t error) {
  return error == kErrorHandleEof || error == kErrorBrokenPipe;
}

// How far the reading of one pipe has come.
struct PipeProgress {
  std::size_t length = 0;  // bytes received so far
  bool at_end = false;
};

// Takes in a finished ReadFile or GetOverlappedResult: the bytes it read, or its error. A
// success with 0 bytes is not the end: it is what a writer's WriteFile of 0 bytes gives the reader.
inline std::expected<void, WindowsError> TakeFinishedRead(
    PipeProgress& progress, std::expected<std::uint32_t, WindowsError> read) {
  if (!read) {
    if (!IsEndOfPipe(read.error().code)) {
      return std::unexpected(read.error());
    }
    progress.at_end = true;
    return {};
  }
  progress.length += *read;
  return {};
}

}  // namespace ltf
