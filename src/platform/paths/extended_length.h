#pragma once

#include <string_view>

#include "platform/paths/path_model.h"

namespace ltf {

// Paths at or past this many units (terminator excluded) get the \\?\ form whatever the caller
// prefers; shorter ones are still safe for the calls that cap at 248 units.
inline constexpr std::size_t kExtendedLengthThreshold = 247;

// False when Windows can take the path as it is: already \\?\ or \??\, empty, or a short path
// that begins with a drive and a separator (or a bare drive) or with two separators.
bool NeedsFullPath(std::u16string_view path);

// Puts the \\?\ or \\?\UNC\ form in front of a path GetFullPathNameW made absolute, when the
// caller prefers it or the path is long.
Path AddExtendedLengthPrefix(std::u16string_view absolute, bool prefer_verbatim);

}  // namespace ltf
