// Reports where it finds itself: the module name Windows holds for it (read in one ample
// buffer), then its ExecutablePath, its InstallDirectory, the companion's path there and
// whether that file exists.
#include <windows.h>

#include <vector>

#include "platform/cmdline/split_command_line.h"
#include "platform/paths/path_services.h"
#include "windows/helpers/write_fields.h"

int main() {
  std::vector<wchar_t> module(32768);
  const DWORD length = GetModuleFileNameW(nullptr, module.data(), 32768);
  const auto executable = ltf::ExecutablePath();
  if (length == 0 || !executable) {
    return 1;
  }
  const ltf::Path directory = ltf::InstallDirectory();
  const ltf::Path companion = ltf::JoinPath(directory, u"lanternfield.exe");
  ltf::testing::WriteField(
      ltf::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(module.data()), length)));
  ltf::testing::WriteField(ltf::ToUtf8(*executable));
  ltf::testing::WriteField(ltf::ToUtf8(directory));
  ltf::testing::WriteField(ltf::ToUtf8(companion));
  ltf::testing::WriteField(ltf::PathExists(companion) ? "exists" : "missing");
  return 0;
}
