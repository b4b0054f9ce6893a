#include "launcher/windows_system.h"

#include <windows.h>

#include "platform/paths/path_services.h"
#include "platform/process/runner.h"
#include "platform/text/wide_string.h"

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
  Path InstallDirectory() override { return ltf::InstallDirectory(); }
  bool PathExists(const Path& path) override { return ltf::PathExists(path); }
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override {
    const WideString wide_text = ToWideString(text);
    const WideString wide_caption = ToWideString(caption);
    return MessageBoxW(static_cast<HWND>(owner), wide_text.Wide(), wide_caption.Wide(), style);
  }
};

}  // namespace

System& WindowsSystem() {
  static RealSystem system;
  return system;
}

}  // namespace ltf
