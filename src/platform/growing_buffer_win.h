#pragma once

// The fill-a-buffer rule bound to a Windows call.
#include <windows.h>

#include <cstdint>
#include <expected>
#include <string>

#include "platform/growing_buffer.h"
#include "platform/text/text.h"
#include "platform/windows_error.h"

namespace ltf {

// ReadWithGrowingBuffer over `fill(buffer, size)`, a fill-a-buffer Windows call that returns the
// units it wrote or the size it needs. The last error is cleared before each call: a 0 return
// that leaves it 0 is the empty text, not a failure.
template <class Fill>
std::expected<std::u16string, WindowsError> ReadWindowsText(Fill&& fill) {
  return ReadWithGrowingBuffer([&](char16_t* buffer, std::uint32_t size) {
    SetLastError(0);
    const std::uint32_t returned = fill(AsWide(buffer), size);
    return BufferCall{returned, GetLastError()};
  });
}

}  // namespace ltf
