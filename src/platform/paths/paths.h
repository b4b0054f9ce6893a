#pragma once

#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "platform/text/text.h"
#include "platform/windows_call.h"

namespace ltf {

// A path is kept as the UTF-16 units Windows gave or we built, unpaired surrogates included.
using Path = std::u16string;

std::optional<Path> ParentPath(std::u16string_view path);
Path JoinPath(std::u16string_view base, std::u16string_view part);

// A path as a wide Windows call takes it: no 0 unit inside, one 0 unit at the end.
class TerminatedPath {
 public:
  // Nothing when the units hold a 0, which Windows would take for the end of the path.
  static std::optional<TerminatedPath> From(std::u16string_view units) {
    if (units.find(u'\0') != std::u16string_view::npos) {
      return std::nullopt;
    }
    return TerminatedPath(std::u16string(units));
  }

  // The units before the terminator.
  std::u16string_view Units() const { return units_; }
#ifdef _WIN32
  const wchar_t* Wide() const { return AsWide(units_.c_str()); }
#endif

 private:
  explicit TerminatedPath(std::u16string units) : units_(std::move(units)) {}
  std::u16string units_;
};

// The module file name of the running exe, in the form Windows gives it (\\?\ kept).
std::expected<Path, WindowsError> ExecutablePath();
// The launcher's own directory, or "." when it cannot be determined.
Path InstallDirectory();
// False for a path holding a 0 unit, a missing entry and a link whose target is missing.
bool PathExists(std::u16string_view path);

// GetFullPathNameW: the path made absolute against the current directory, "." and ".." resolved.
std::expected<Path, WindowsError> FullPathName(const TerminatedPath& path);

// Makes a path safe for calls that take long paths: relative and long paths become absolute
// through GetFullPathNameW, and get the \\?\ or \\?\UNC\ form when `prefer_verbatim` is set or
// they are long. Already-verbatim and short rooted paths come back unchanged.
std::expected<TerminatedPath, WindowsError> ToExtendedLengthPath(const TerminatedPath& path,
                                                                 bool prefer_verbatim);

}  // namespace ltf
