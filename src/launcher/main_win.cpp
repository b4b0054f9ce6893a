// The entry point, and the real services it binds the launcher to.
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/cmdline/cmdline.h"
#include "platform/text/text.h"
#include "window/window.h"

namespace ltf {

namespace {

class RealSystem final : public System {
 public:
  std::expected<ProcessOutput, ProcessError> RunToCompletion(
      const ProcessCommand& command) override {
    return ltf::RunToCompletion(command);
  }
  std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) override {
    return ltf::StartAndRelease(command);
  }
  std::expected<void, ProcessError> StartThroughShell(const ProcessCommand& command,
                                                      const ShellStart& how) override {
    return ltf::StartThroughShell(command, how);
  }
  std::optional<std::uint32_t> SessionId() override { return OwnSessionId(); }
  Path InstallDirectory() override { return ltf::InstallDirectory(); }
  bool PathExists(const Path& path) override { return ltf::PathExists(path); }
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override {
    const WideString wide_text = ToWideString(text);
    const WideString wide_caption = ToWideString(caption);
    return MessageBoxW(static_cast<HWND>(owner), wide_text.Wide(), wide_caption.Wide(), style);
  }
};

// Stateless, so one serves the whole process. At namespace scope and constant-initialised, so
// no first-call guard is needed.
constinit RealSystem real_system;

// The real services, which only the entry point binds.
System& WindowsSystem() {
  return real_system;
}

}  // namespace

}  // namespace ltf

// The exit code is 0 whatever happened: the launcher reports nothing through it.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::vector<std::string> arguments = ltf::ParseCommandLine();
  ltf::System& system = ltf::WindowsSystem();
  if (ltf::ChooseLaunchMode(arguments) == ltf::LaunchMode::Silent) {
    ltf::RunSilentMode(system);
  } else {
    ltf::RunLauncherWindow(system);
  }
  return 0;
}
