#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <expected>
#include <memory>
#include <new>
#include <string>

#include "platform/windows_codes.h"
#include "platform/windows_error.h"

namespace ltf {

// What one call of a fill-a-buffer Windows function gave: its return value and GetLastError.
struct BufferCall {
  std::uint32_t returned = 0;
  std::uint32_t last_error = 0;
};

// Runs `call(buffer, size)` (ReadWindowsText of growing_buffer_win.h binds it to a Windows call)
// until the text fits: 512 units on the stack first, then heap buffers that double, or grow to the
// size the call asked for. A 0 return with no error is the empty text.
template <class Call>
std::expected<std::u16string, WindowsError> ReadWithGrowingBuffer(Call&& call) {
  std::array<char16_t, 512> first;
  std::unique_ptr<char16_t[]> grown;
  char16_t* buffer = first.data();
  std::uint32_t size = first.size();
  for (;;) {
    const BufferCall result = call(buffer, size);
    if (result.returned == 0) {
      if (result.last_error != 0) {
        return std::unexpected(WindowsError{result.last_error});
      }
      return std::u16string();
    }
    if (result.returned < size) {
      return std::u16string(buffer, result.returned);
    }
    std::uint32_t next = result.returned;
    if (result.returned == size) {
      // Truncated. Older systems truncate without setting ERROR_INSUFFICIENT_BUFFER, so the
      // return value alone decides.
      if (size == UINT32_MAX) {
        return std::unexpected(WindowsError{kErrorInsufficientBuffer});
      }
      next =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{size} * 2, UINT32_MAX));
    }
    grown.reset(new (std::nothrow) char16_t[next]);
    if (!grown) {
      return std::unexpected(WindowsError{kErrorNotEnoughMemory});
    }
    buffer = grown.get();
    size = next;
  }
}

}  // namespace ltf
