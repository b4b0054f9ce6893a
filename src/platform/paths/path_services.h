#pragma once

#include <expected>
#include <string_view>

#include "platform/paths/path_model.h"
#include "platform/windows_error.h"

namespace ltf {

std::expected<Path, WindowsError> ExecutablePath();
// The launcher's own directory, or "." when it cannot be determined.
Path InstallDirectory();
bool PathExists(std::u16string_view path);

}  // namespace ltf
