#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "window/window.h"

namespace ltf {
namespace {

using namespace std::string_literals;

// Records every child and box as one readable line, and answers from a script.
class FakeSystem final : public System {
 public:
  // What the probe's tasklist run yields; other runs yield empty output.
  std::expected<ProcessOutput, ProcessError> probe_result = ProcessOutput{};
  std::set<Path> existing_paths;
  std::deque<int> box_answers;                     // when empty, a box answers IDOK (1)
  std::uint32_t start_error = 0, shell_error = 0;  // 0: the start succeeds
  std::vector<std::string> events;

  std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& c) override {
    events.push_back("run " + Describe(c));
    return c.program == u"tasklist" ? probe_result : ProcessOutput{};
  }
  std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& c) override {
    events.push_back("start " + Describe(c));
    return Result(start_error);
  }
  std::expected<void, ProcessError> StartThroughShell(const Path& program,
                                                      WindowHandle owner) override {
    events.push_back("shell " + Describe({program, {}}) + (owner ? " owned" : " unowned"));
    return Result(shell_error);
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
  static std::expected<void, ProcessError> Result(std::uint32_t error) {
    if (error != 0) {
      return std::unexpected(ProcessError::FromWindows(error));
    }
    return {};
  }
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
inline const std::string kShellCompanion = "shell C:\\Apps\\lanternfield.exe unowned";
inline const std::string kShellUninstaller = "shell C:\\Apps\\Uninstall.exe owned";
// 16, 36, 64: MB_ICONERROR, MB_YESNO | MB_ICONQUESTION, MB_ICONINFORMATION.
inline const std::string kMissingCompanion =
    "unowned 16 Lanternfield Error: lanternfield.exe not found in install directory.";
inline const std::string kConfirm =
    "owned 36 Uninstall Lanternfield: Are you sure you want to uninstall Lanternfield?";
inline const std::string kMissingUninstaller =
    "owned 64 Lanternfield: Uninstaller not found. Use Settings > Apps.";

TEST(ChooseLaunchModeTest, OnlyTheExactSwitchAnywhereSelectsSilent) {
  const std::vector<std::string> silent[] = {
      {"launcher.exe", "--silent"},
      {"launcher.exe", "x", "--silent", "y"},
      {"--silent", "--silent"},
  };
  for (const auto& arguments : silent) {
    EXPECT_EQ(ChooseLaunchMode(arguments), LaunchMode::Silent) << arguments.back();
  }
  const std::string near_misses[] = {"--SILENT", "--silent=1", "--silentx", " --silent",
                                     "--silen",  "-silent",    "/silent",   "--silent\0"s};
  for (const std::string& argument : near_misses) {
    EXPECT_EQ(ChooseLaunchMode(std::vector<std::string>{"launcher.exe", argument}),
              LaunchMode::Window)
        << argument;
  }
}

TEST(RunSilentModeTest, ProbesOnceAndStartsOnlyAStoppedCompanion) {
  const auto failed = std::unexpected(ProcessError::NotFound("program not found"));
  const struct {
    std::expected<ProcessOutput, ProcessError> probe;
    bool present;
    std::vector<std::string> expected;
  } cases[] = {
      {OutputOf("lanternfield.exe   4242 Console"), true, {kProbe}},
      {OutputOf(""), true, {kProbe, kStartCompanion}},
      {OutputOf(""), false, {kProbe, kMissingCompanion}},
      {failed, true, {kProbe, kStartCompanion}},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_result = c.probe;
    if (c.present) {
      system.existing_paths.insert(u"C:\\Apps\\lanternfield.exe");
    }
    RunSilentMode(system);
    EXPECT_EQ(system.events, c.expected) << c.expected.back();
  }
}

TEST(IsCompanionRunningTest, AnswersFromStandardOutputAlone) {
  const struct {
    std::string out, err;
    std::uint32_t status;
    bool expected;
  } cases[] = {
      {"", "", 0, false},
      {"lanternfield.exe", "", 0, true},
      {"lanternfield.ex", "", 0, false},
      {"INFO: No tasks are running which match the specified criteria.\r\n", "", 0, false},
      {"LANTERNFIELD.EXE", "", 0, false},
      {"oldlanternfield.exe2", "", 0, true},
      {"", "lanternfield.exe", 0, false},
      {"lanternfield.exe", "", 1, true},
      // Bytes of another code page around the name are replaced; the name's own bytes stay.
      {"\x81\xFFlanternfield.exe\xA0", "", 0, true},
      {"\xE2\x82lanternfield.exe\xF0\x9F\x98", "", 0, true},
      {"\0lanternfield.exe\0"s, "", 0, true},
      {"lanternfield\r\n.exe", "", 0, false},
      {"lanternfield\x80.exe", "", 0, false},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_result = OutputOf(c.out, c.err, c.status);
    EXPECT_EQ(IsCompanionRunning(system), c.expected) << c.out << "|" << c.err;
    EXPECT_EQ(system.events, std::vector<std::string>{kProbe});
  }
  FakeSystem failing;
  failing.probe_result = std::unexpected(ProcessError::FromWindows(2));
  EXPECT_FALSE(IsCompanionRunning(failing));
}

// Each button's action with its children and boxes in order, and what the window does next. Only
// a program that needs elevation goes on to the shell; an uninstaller that starts neither way
// keeps the window open.
TEST(HandleLauncherCommandTest, RunsTheCommandOfTheLowWordAndNamesTheFollowUp) {
  using enum CommandFollowUp;
  const auto window = reinterpret_cast<WindowHandle>(0x1234);
  const Path companion = u"C:\\Apps\\lanternfield.exe", uninstaller = u"C:\\Apps\\Uninstall.exe";
  const std::vector<std::string> elevated_uninstall{kConfirm, kStop, kStartUninstaller,
                                                    kShellUninstaller};
  const struct {
    std::uintptr_t command;
    bool running;
    std::vector<Path> existing;
    std::vector<int> answers;
    std::vector<std::string> events;
    CommandFollowUp follow_up;
    std::uint32_t start_error = 0, shell_error = 0;
  } cases[] = {
      {101, true, {companion}, {}, {kProbe, kStop}, DestroyWindow},
      {101, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow},
      // The missing-companion box does not keep the window open.
      {101, false, {uninstaller}, {}, {kProbe, kMissingCompanion}, DestroyWindow},
      // The notification code, and on 64-bit anything above it, is not looked at.
      {0x00010065, true, {}, {}, {kProbe, kStop}, DestroyWindow},
      {~std::uintptr_t{0xFFFF} | 101,
       false,
       {companion},
       {},
       {kProbe, kStartCompanion},
       DestroyWindow},
      {102, true, {}, {}, {kUpdate}, Stay},
      {103, false, {uninstaller}, {6}, {kConfirm, kStop, kStartUninstaller}, Quit},
      {103, false, {uninstaller}, {7}, {kConfirm}, Stay},
      // A box that could not be shown answers 0: no consent either.
      {103, false, {uninstaller}, {0}, {kConfirm}, Stay},
      {103, false, {companion}, {6}, {kConfirm, kStop, kMissingUninstaller}, Stay},
      // 740: ERROR_ELEVATION_REQUIRED; 1223: ERROR_CANCELLED, the prompt declined.
      {103, false, {uninstaller}, {6}, elevated_uninstall, Quit, 740},
      {103, false, {uninstaller}, {6}, elevated_uninstall, Stay, 740, 1223},
      {103, false, {uninstaller}, {6}, {kConfirm, kStop, kStartUninstaller}, Stay, 193},
      {101, false, {companion}, {}, {kProbe, kStartCompanion, kShellCompanion}, DestroyWindow, 740},
      {101, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow, 5},
      {100, true, {}, {}, {}, Stay},
      {104, true, {}, {}, {}, Stay},
      {0x00650000, true, {}, {}, {}, Stay},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_result = OutputOf(c.running ? "lanternfield.exe" : "");
    system.existing_paths.insert(c.existing.begin(), c.existing.end());
    system.box_answers.assign(c.answers.begin(), c.answers.end());
    system.start_error = c.start_error;
    system.shell_error = c.shell_error;
    EXPECT_EQ(HandleLauncherCommand(system, window, c.command), c.follow_up) << c.command;
    EXPECT_EQ(system.events, c.events) << c.command;
  }
}

}  // namespace
}  // namespace ltf
