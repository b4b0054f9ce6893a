#pragma once

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "launcher/system.h"

namespace ltf::testing {

// Records every child and box as one readable line, and answers from a script.
class FakeSystem final : public System {
 public:
  // What the probe's tasklist run yields; an unexpected value makes the run fail.
  std::expected<ProcessOutput, ProcessError> probe_result = ProcessOutput{};
  Path install_directory = u"C:\\Apps\\Tool";
  std::set<Path> existing_paths;
  std::deque<int> box_answers;  // when empty, a box answers IDOK (1)
  std::vector<std::string> events;

  static std::string Narrow(std::u16string_view text) {
    std::string narrow;
    for (char16_t unit : text)
      narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    return narrow;
  }
  static std::string Describe(const ProcessCommand& command) {
    std::string line = Narrow(command.program);
    for (const auto& argument : command.arguments)
      line += " [" + Narrow(argument) + "]";
    return line;
  }

  std::expected<ProcessOutput, ProcessError> RunToCompletion(
      const ProcessCommand& command) override {
    events.push_back("run " + Describe(command));
    if (command.program == u"tasklist")
      return probe_result;
    return ProcessOutput{};
  }
  std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) override {
    events.push_back("start " + Describe(command));
    return {};
  }
  Path InstallDirectory() override { return install_directory; }
  bool PathExists(const Path& path) override { return existing_paths.contains(path); }
  int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                     unsigned style) override {
    const char* digits = "0123456789abcdef";
    const std::string hex = {'0', 'x', digits[(style >> 4) & 0xF], digits[style & 0xF]};
    events.push_back(std::string("box ") + (owner ? "owned " : "unowned ") + hex + " \"" +
                     std::string(caption) + "\" \"" + std::string(text) + "\"");
    if (box_answers.empty())
      return 1;
    const int answer = box_answers.front();
    box_answers.pop_front();
    return answer;
  }
};

inline ProcessOutput OutputOf(std::string_view standard_output,
                              std::string_view standard_error = {}, std::uint32_t status = 0) {
  return {status,
          {standard_output.begin(), standard_output.end()},
          {standard_error.begin(), standard_error.end()}};
}

inline const std::string kProbe = "run tasklist [/FI] [IMAGENAME eq lanternfield.exe] [/NH]";
inline const std::string kStop = "run taskkill [/F] [/IM] [lanternfield.exe]";

}  // namespace ltf::testing
