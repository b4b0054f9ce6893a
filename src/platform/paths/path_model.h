#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ltf {

// A path is kept as the UTF-16 units Windows gave or we built, unpaired surrogates included.
using Path = std::u16string;

std::optional<Path> ParentPath(std::u16string_view path);
Path JoinPath(std::u16string_view base, std::u16string_view part);

}  // namespace ltf
