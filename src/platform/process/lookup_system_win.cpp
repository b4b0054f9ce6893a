#include "platform/process/lookup_system_win.h"

#include <windows.h>

#include "platform/paths/buffer_rule.h"
#include "platform/paths/path_services.h"
#include "platform/wide_units_win.h"

namespace ltf {

namespace {

template <class Query>
std::optional<Path> ReadText(Query query) {
  std::expected<std::u16string, WindowsError> text =
      ReadWithGrowingBuffer([&](char16_t* buffer, std::uint32_t size) {
        SetLastError(0);
        const UINT length = query(AsWide(buffer), size);
        return BufferCall{length, GetLastError()};
      });
  return text ? std::optional<Path>(std::move(*text)) : std::nullopt;
}

class RealLookupSystem final : public LookupSystem {
 public:
  std::optional<Path> OwnDirectory() override {
    std::expected<Path, WindowsError> executable = ExecutablePath();
    if (!executable) {
      return std::nullopt;
    }
    std::optional<Path> parent = ParentPath(*executable);
    return parent ? std::move(parent) : std::move(executable).value();
  }
  std::optional<Path> SystemDirectory() override {
    return ReadText([](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
  }
  std::optional<Path> WindowsDirectory() override {
    return ReadText([](wchar_t* buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); });
  }
  std::optional<std::u16string> SearchPathVariable() override {
    return ReadText(
        [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"PATH", buffer, size); });
  }
  std::expected<Path, WindowsError> FullPathName(const TerminatedPath& path) override {
    return ltf::FullPathName(path);
  }
  std::expected<TerminatedPath, WindowsError> ExtendedLengthPath(
      const TerminatedPath& path) override {
    return ToExtendedLengthPath(path, /*prefer_verbatim=*/false);
  }
  bool HasAttributes(const TerminatedPath& path) override {
    return GetFileAttributesW(path.Wide()) != INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

LookupSystem& WindowsLookupSystem() {
  static RealLookupSystem system;
  return system;
}

}  // namespace ltf
