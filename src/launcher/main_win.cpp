#include <windows.h>

#include <string>
#include <vector>

#include "launcher/launch_mode.h"
#include "launcher/windows_system.h"
#include "platform/cmdline/command_line.h"
#include "window/launcher_window.h"

// The exit code is 0 whatever happened: the launcher reports nothing through it.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::string> arguments = ltf::ParseCommandLine();
  if (ltf::ChooseLaunchMode(arguments) == ltf::LaunchMode::Silent) {
    ltf::RunSilentMode(ltf::WindowsSystem());
  } else {
    ltf::RunLauncherWindow();
  }
  return 0;
}
