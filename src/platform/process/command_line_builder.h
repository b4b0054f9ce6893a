#pragma once

#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "platform/process/process_types.h"

namespace ltf {

// A child's command line, quoted so that the child's argument splitting gives back each
// argument exactly; NUL-terminated and writable, as CreateProcessW wants it.
std::expected<std::u16string, ProcessError> BuildCommandLine(
    std::u16string_view program, std::span<const std::u16string> arguments);

std::expected<void, ProcessError> AppendArgument(std::u16string& line,
                                                 std::u16string_view argument);

}  // namespace ltf
