#pragma once

// How Windows reads a path, for the path arithmetic of paths.cpp and the long-path forms.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ltf {

// Outside the \\?\ forms both "\" and "/" separate components.
inline bool IsAnySeparator(char16_t unit) {
  return unit == u'\\' || unit == u'/';
}

enum class PrefixKind { None, Drive, Unc, Device, Verbatim, VerbatimUnc, VerbatimDrive };

struct PathPrefix {
  PrefixKind kind = PrefixKind::None;
  std::size_t length = 0;

  bool IsVerbatim() const {
    return kind == PrefixKind::Verbatim || kind == PrefixKind::VerbatimUnc ||
           kind == PrefixKind::VerbatimDrive;
  }
};

// C:, \\server\share, \\.\name, \\?\name, \\?\UNC\server\share or \\?\C:.
PathPrefix ParsePrefix(std::u16string_view path);

// How a path reads: an optional prefix, an optional root separator, then the body.
struct PathLayout {
  PathPrefix prefix;
  bool separator_root = false;

  // In the \\?\ forms Windows takes "/" as an ordinary character.
  bool IsSeparator(char16_t unit) const {
    return unit == u'\\' || (unit == u'/' && !prefix.IsVerbatim());
  }
  bool HasRoot() const {
    return separator_root || (prefix.kind != PrefixKind::None && prefix.kind != PrefixKind::Drive);
  }
  std::size_t BodyStart() const { return prefix.length + (separator_root ? 1 : 0); }
};

PathLayout ReadLayout(std::u16string_view path);

// Where one component lies in the path it was read from.
struct ComponentSpan {
  std::size_t begin;
  std::size_t end;
};

// Names, ".." and the "." that count: the leading one of a relative path, and every one in a
// verbatim path. Empty parts and trailing separators give nothing.
std::vector<ComponentSpan> Components(std::u16string_view path, const PathLayout& layout);

// GetFullPathNameW and the file calls take paths up to MAX_PATH (260 units with the terminator),
// and CreateDirectoryW only up to 248; from this many units on, the \\?\ form is a must.
inline constexpr std::size_t kExtendedLengthThreshold = 247;

// False when Windows can take the path as it is: already \\?\ or \??\, empty, or a short path
// that begins with a drive and a separator (or a bare drive) or with two separators.
bool NeedsFullPath(std::u16string_view path);

// Puts the \\?\ or \\?\UNC\ form in front of a path GetFullPathNameW made absolute, when the
// caller prefers it or the path is long.
std::u16string AddExtendedLengthPrefix(std::u16string_view absolute, bool prefer_verbatim);

}  // namespace ltf
