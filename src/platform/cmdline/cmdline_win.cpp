#include <windows.h>

#include "platform/cmdline/cmdline.h"
#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace ltf {

std::vector<std::string> ParseCommandLine() {
  // The process's own buffer: only read, never freed.
  const wchar_t* line = GetCommandLineW();
  if (line == nullptr || *line == L'\0') {
    // A parent may start us with an empty line; the program name is then our own path.
    const std::expected<Path, WindowsError> executable = ExecutablePath();
    return {executable ? ToUtf8(*executable) : std::string()};
  }
  return SplitCommandLine(reinterpret_cast<const char16_t*>(line));
}

}  // namespace ltf
