#pragma once

#include <cstdint>
#include <expected>
#include <optional>

#include "platform/windows_codes.h"
#include "platform/windows_error.h"

namespace ltf {

struct FileMetadata {
  // Read only from a reparse point: Windows leaves the tag undefined for any other entry.
  std::uint32_t reparse_tag = 0;

  bool IsSymbolicLink() const { return (reparse_tag & kReparseTagNameSurrogate) != 0; }
};

// Follow opens what a link points at; NoFollow opens the link itself.
enum class LinkMode { Follow, NoFollow };

// The CreateFileW flags for a metadata open; backup semantics let directories open too.
constexpr std::uint32_t MetadataOpenFlags(LinkMode mode) {
  return kFileFlagBackupSemantics | (mode == LinkMode::NoFollow ? kFileFlagOpenReparsePoint : 0);
}

// After an open failed with `open_error`: an entry that cannot be opened for sharing or access
// reasons may still be listed by its directory, so `search()` (a FindFirstFileExW) decides.
// Following a link needs its target, which a listing cannot give.
template <class Search>
std::expected<FileMetadata, WindowsError> RecoverFromOpenFailure(std::uint32_t open_error,
                                                                 LinkMode mode, Search&& search) {
  if (open_error != kErrorAccessDenied && open_error != kErrorSharingViolation) {
    return std::unexpected(WindowsError{open_error});
  }
  const std::optional<FileMetadata> found = search();
  if (!found || (mode == LinkMode::Follow && found->IsSymbolicLink())) {
    return std::unexpected(WindowsError{open_error});
  }
  return *found;
}

// `query(mode)` asks for the metadata. A link Windows cannot follow (1920) still counts when
// the entry itself is there and is no link.
template <class Query>
bool ExistsByQueries(Query&& query) {
  const std::expected<FileMetadata, WindowsError> followed = query(LinkMode::Follow);
  if (followed) {
    return true;
  }
  if (followed.error().code != kErrorCantAccessFile) {
    return false;
  }
  const std::expected<FileMetadata, WindowsError> entry = query(LinkMode::NoFollow);
  return entry && !entry->IsSymbolicLink();
}

}  // namespace ltf
