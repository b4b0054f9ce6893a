// Reports its raw command line, the launch mode and the argument list it parsed from it.
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/launch_mode.h"
#include "platform/cmdline/command_line.h"
#include "platform/cmdline/split_command_line.h"
#include "windows/helpers/write_fields.h"

int main() {
  const std::vector<std::string> arguments = ltf::ParseCommandLine();
  ltf::testing::WriteField(ltf::ToUtf8(reinterpret_cast<const char16_t*>(GetCommandLineW())));
  ltf::testing::WriteField(ltf::ChooseLaunchMode(arguments) == ltf::LaunchMode::Silent ? "silent"
                                                                                       : "window");
  for (const std::string& argument : arguments) {
    ltf::testing::WriteField(argument);
  }
  return 0;
}
