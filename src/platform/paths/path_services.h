#pragma once

#include <expected>
#include <string_view>

#include "platform/paths/file_metadata.h"
#include "platform/paths/path_model.h"
#include "platform/paths/terminated_path.h"
#include "platform/windows_error.h"

namespace ltf {

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

// Metadata of a file or a directory, opened without asking for any access rights.
std::expected<FileMetadata, WindowsError> QueryFileMetadata(const TerminatedPath& path,
                                                            LinkMode mode);

}  // namespace ltf
