#include <windows.h>

#include <optional>

#include "platform/growing_buffer_win.h"
#include "platform/paths/file_metadata.h"
#include "platform/paths/path_layout.h"
#include "platform/paths/paths.h"
#include "platform/unique_handle_win.h"

namespace ltf {

namespace {

std::optional<FileMetadata> FindEntry(const TerminatedPath& path) {
  WIN32_FIND_DATAW data{};
  const UniqueFindHandle search(
      FindFirstFileExW(path.Wide(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
  if (!search.Valid()) {
    return std::nullopt;
  }
  FileMetadata metadata{};
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    // The listing keeps the reparse tag in this otherwise unused field.
    metadata.reparse_tag = data.dwReserved0;
  }
  return metadata;
}

// Metadata of a file or a directory, opened without asking for any access rights.
std::expected<FileMetadata, WindowsError> QueryFileMetadata(const TerminatedPath& path,
                                                            LinkMode mode) {
  // No access rights are needed for metadata.
  const UniqueHandle file(CreateFileW(path.Wide(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, MetadataOpenFlags(mode), nullptr));
  if (!file.Valid()) {
    return RecoverFromOpenFailure(GetLastError(), mode, [&] { return FindEntry(path); });
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file.Get(), &information)) {
    return std::unexpected(LastError());
  }
  FileMetadata metadata{};
  if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!GetFileInformationByHandleEx(file.Get(), FileAttributeTagInfo, &tag, sizeof(tag))) {
      return std::unexpected(LastError());
    }
    metadata.reparse_tag = tag.ReparseTag;
  }
  return metadata;
}

}  // namespace

std::expected<Path, WindowsError> ExecutablePath() {
  return ReadWindowsText(
      [](wchar_t* buffer, DWORD size) { return GetModuleFileNameW(nullptr, buffer, size); });
}

Path InstallDirectory() {
  const std::expected<Path, WindowsError> executable = ExecutablePath();
  std::optional<Path> parent = ParentPath(executable ? *executable : Path());
  return parent ? std::move(*parent) : Path(u".");
}

std::expected<Path, WindowsError> FullPathName(const TerminatedPath& path) {
  return ReadWindowsText([&](wchar_t* buffer, DWORD size) {
    return GetFullPathNameW(path.Wide(), size, buffer, nullptr);
  });
}

std::expected<TerminatedPath, WindowsError> ToExtendedLengthPath(const TerminatedPath& path,
                                                                 bool prefer_verbatim) {
  if (!NeedsFullPath(path.Units())) {
    return path;
  }
  const std::expected<Path, WindowsError> absolute = FullPathName(path);
  if (!absolute) {
    return std::unexpected(absolute.error());
  }
  std::optional<TerminatedPath> extended =
      TerminatedPath::From(AddExtendedLengthPrefix(*absolute, prefer_verbatim));
  if (!extended) {
    return std::unexpected(WindowsError{ERROR_INVALID_NAME});
  }
  return std::move(*extended);
}

bool PathExists(std::u16string_view path) {
  const std::optional<TerminatedPath> terminated = TerminatedPath::From(path);
  if (!terminated) {
    return false;
  }
  const std::expected<TerminatedPath, WindowsError> extended =
      ToExtendedLengthPath(*terminated, true);
  if (!extended) {
    return false;
  }
  return ExistsByQueries([&](LinkMode mode) { return QueryFileMetadata(*extended, mode); });
}

}  // namespace ltf
