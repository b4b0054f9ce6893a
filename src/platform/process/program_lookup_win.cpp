// Program lookup as Windows answers it.
#include <windows.h>

#include "platform/growing_buffer_win.h"
#include "platform/paths/paths.h"
#include "platform/process/program_lookup.h"

namespace ltf {

namespace {

template <class Query>
std::optional<Path> ReadText(Query query) {
  std::expected<std::u16string, WindowsError> text = ReadWindowsText(query);
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

// At namespace scope and constant-initialised, so no first-call guard is needed.
constinit RealLookupSystem real_lookup_system;

}  // namespace

LookupSystem& WindowsLookupSystem() {
  return real_lookup_system;
}

}  // namespace ltf
