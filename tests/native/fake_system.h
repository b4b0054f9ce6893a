#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "launcher/launcher.h"

namespace ltf::testing {

// Records every child and box as one readable line, and answers from a script.
class FakeSystem final : public System {
 public:
  // What the probe's tasklist run yields; other runs yield empty output.
  std::expected<ProcessOutput, ProcessError> probe_result = ProcessOutput{};
  std::set<Path> existing_paths;
  std::deque<int> box_answers;  // when empty, a box answers IDOK (1)
  std::vector<std::string> events;

  std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& c) override {
    events.push_back("run " + Describe(c));
    return c.program == u"tasklist" ? probe_result : ProcessOutput{};
  }
  std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& c) override {
    events.push_back("start " + Describe(c));
    return {};
  }
  Path InstallDirectory() override { return u"C:\\Apps"; }
  bool PathExists(const Path& path) override { return existing_paths.contains(path); }
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override {
    events.push_back(std::string(owner ? "owned " : "unowned ") + std::to_string(style) + " " +
                     std::string(caption) + ": " + std::string(text));
    const int answer = box_answers.empty() ? 1 : box_answers.front();
    if (!box_answers.empty()) {
      box_answers.pop_front();
    }
    return answer;
  }

 private:
  static std::string Describe(const ProcessCommand& command) {
    std::string line(command.program.begin(), command.program.end());  // tests use ASCII only
    for (const auto& argument : command.arguments) {
      line += " [" + std::string(argument.begin(), argument.end()) + "]";
    }
    return line;
  }
};

inline ProcessOutput OutputOf(std::string_view out, std::string_view err = {},
                              std::uint32_t status = 0) {
  return {status, {out.begin(), out.end()}, {err.begin(), err.end()}};
}

inline const std::string kProbe = "run tasklist [/FI] [IMAGENAME eq lanternfield.exe] [/NH]";
inline const std::string kStop = "run taskkill [/F] [/IM] [lanternfield.exe]";
inline const std::string kUpdate = "start cmd [/C] [start] [" + std::string(UpdatePageUrl()) + "]";
inline const std::string kStartCompanion = "start C:\\Apps\\lanternfield.exe";
inline const std::string kStartUninstaller = "start C:\\Apps\\Uninstall.exe";
// 16, 36, 64: MB_ICONERROR, MB_YESNO | MB_ICONQUESTION, MB_ICONINFORMATION.
inline const std::string kMissingCompanion =
    "unowned 16 Lanternfield Error: lanternfield.exe not found in install directory.";
inline const std::string kConfirm =
    "owned 36 Uninstall Lanternfield: Are you sure you want to uninstall Lanternfield?";
inline const std::string kMissingUninstaller =
    "owned 64 Lanternfield: Uninstaller not found. Use Settings > Apps.";

}  // namespace ltf::testing
