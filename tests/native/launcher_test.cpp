#include <gtest/gtest.h>

#include <deque>
#include <optional>
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
  // What the probe's tasklist runs yield, in turn; the last one for every later probe.
  std::deque<std::expected<ProcessOutput, ProcessError>> probe_results{ProcessOutput{}};
  std::expected<ProcessOutput, ProcessError> stop_result = ProcessOutput{};  // taskkill's run
  std::optional<std::uint32_t> session = 1;
  std::set<Path> existing_paths;
  std::deque<int> box_answers;                     // when empty, a box answers IDOK (1)
  std::uint32_t start_error = 0, shell_error = 0;  // 0: the start succeeds
  std::vector<std::string> events;

  std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& c) override {
    events.push_back("run " + Describe(c));
    if (c.program != u"tasklist") {
      return stop_result;
    }
    auto result = probe_results.front();
    if (probe_results.size() > 1) {
      probe_results.pop_front();
    }
    return result;
  }
  std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& c) override {
    events.push_back("start " + Describe(c));
    return Result(start_error);
  }
  std::expected<void, ProcessError> StartThroughShell(const ProcessCommand& c,
                                                      const ShellStart& how) override {
    events.push_back("shell " + (how.verb.empty() ? "" : Narrow(how.verb) + " ") + Describe(c) +
                     (how.owner ? " owned" : " unowned") + (how.wait ? " waited" : "") +
                     (how.hidden ? " hidden" : ""));
    return Result(shell_error);
  }
  std::optional<std::uint32_t> SessionId() override { return session; }
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
  static std::string Narrow(std::u16string_view units) {
    return {units.begin(), units.end()};  // tests use ASCII only
  }
  static std::string Describe(const ProcessCommand& command) {
    std::string line = Narrow(command.program);
    for (const auto& argument : command.arguments) {
      line += " [" + Narrow(argument) + "]";
    }
    return line;
  }
};

inline ProcessOutput OutputOf(std::string_view out, std::string_view err = {},
                              std::uint32_t status = 0) {
  return {status, {out.begin(), out.end()}, {err.begin(), err.end()}};
}

inline const std::string kProbe =
    "run tasklist [/FI] [IMAGENAME eq lanternfield.exe] [/FI] [SESSION eq 1] [/NH]";
inline const std::string kStop = "run taskkill [/F] [/FI] [SESSION eq 1] [/IM] [lanternfield.exe]";
inline const std::string kElevatedStop =
    "shell runas taskkill [/F] [/FI] [SESSION eq 1] [/IM] [lanternfield.exe] owned waited hidden";
// The URL this build was configured with, not the code's own idea of it.
inline const std::string kUpdate = "start cmd [/C] [start] [" LTF_EXPECTED_UPDATE_URL "]";
inline const std::string kStartCompanion = "start C:\\Apps\\lanternfield.exe";
inline const std::string kStartUninstaller = "start C:\\Apps\\Uninstall.exe";
inline const std::string kShellCompanion = "shell C:\\Apps\\lanternfield.exe owned";
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
    std::uint32_t start_error = 0;
  } cases[] = {
      {OutputOf("lanternfield.exe   4242 Console"), true, {kProbe}},
      {OutputOf(""), true, {kProbe, kStartCompanion}},
      {OutputOf(""), false, {kProbe, kMissingCompanion}},
      {failed, true, {kProbe, kStartCompanion}},
      // With no window, no window owns the elevation prompt.
      {OutputOf(""),
       true,
       {kProbe, kStartCompanion, "shell C:\\Apps\\lanternfield.exe unowned"},
       740},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_results = {c.probe};
    system.start_error = c.start_error;
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
      {"INFO: No tasks are running which match the specified criteria.\r\n", "", 0, false},
      {"oldlanternfield.exe2", "", 0, true},
      {"", "lanternfield.exe", 0, false},
      {"lanternfield.exe", "", 1, true},
      // Bytes of another code page around the name are replaced; the name's own bytes stay.
      {"\x81\xFFlanternfield.exe\xA0", "", 0, true},
      {"lanternfield\r\n.exe", "", 0, false},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_results = {OutputOf(c.out, c.err, c.status)};
    EXPECT_EQ(IsCompanionRunning(system), c.expected) << c.out << "|" << c.err;
    EXPECT_EQ(system.events, std::vector<std::string>{kProbe});
  }
}

// taskkill kept to our session; only a refusal with the companion still there earns one more
// taskkill, elevated through the shell and waited for, and nothing is shown whatever it does.
TEST(StopCompanionTest, RetriesElevatedOnlyARefusedStopOfThisSession) {
  const auto window = reinterpret_cast<WindowHandle>(0x1234);
  const auto cannot_run = std::unexpected(ProcessError::NotFound("program not found"));
  const std::string unscoped = "run taskkill [/F] [/IM] [lanternfield.exe]";
  const struct {
    std::optional<std::uint32_t> session;
    std::expected<ProcessOutput, ProcessError> stop;
    bool still_running;
    std::vector<std::string> events;
    std::uint32_t shell_error = 0;
  } cases[] = {
      // Still listed after a taskkill that worked: the end is on its way.
      {1, OutputOf(""), true, {kStop}},
      {1, cannot_run, true, {kStop}},
      {1, OutputOf("", "", 1), false, {kStop, kProbe}},
      {1, OutputOf("", "", 1), true, {kStop, kProbe, kElevatedStop}},
      // 1223: ERROR_CANCELLED, the prompt declined; any other failure ends it the same way.
      {1, OutputOf("", "", 1), true, {kStop, kProbe, kElevatedStop}, 1223},
      {0,
       OutputOf("", "", 1),
       true,
       {"run taskkill [/F] [/FI] [SESSION eq 0] [/IM] [lanternfield.exe]",
        "run tasklist [/FI] [IMAGENAME eq lanternfield.exe] [/FI] [SESSION eq 0] [/NH]",
        "shell runas taskkill [/F] [/FI] [SESSION eq 0] [/IM] [lanternfield.exe] owned waited "
        "hidden"}},
      // Unscoped, an elevated taskkill would end every user's companion.
      {std::nullopt, OutputOf("", "", 1), true, {unscoped}},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.session = c.session;
    system.stop_result = c.stop;
    system.probe_results = {OutputOf(c.still_running ? "lanternfield.exe" : "")};
    system.shell_error = c.shell_error;
    StopCompanion(system, window);
    EXPECT_EQ(system.events, c.events) << c.events.back();
  }
}

// Each button's action with its children and boxes in order, and what the window does next. Only
// a program that needs elevation goes on to the shell; an uninstaller that starts neither way
// keeps the window open.
TEST(HandleLauncherCommandTest, RunsTheCommandOfTheLowWordAndNamesTheFollowUp) {
  using enum CommandFollowUp;
  const auto window = reinterpret_cast<WindowHandle>(0x1234);
  const Path companion = u"C:\\Apps\\lanternfield.exe", uninstaller = u"C:\\Apps\\Uninstall.exe";
  const std::vector<std::string> elevated_uninstall{kConfirm, kStop, kStartUninstaller,
                                                    kShellUninstaller},
      refused_stop{kConfirm, kStop, kProbe, kElevatedStop, kStartUninstaller};
  // The notification code, and on 64-bit anything above it, is not looked at.
  const std::uintptr_t noisy = ~std::uintptr_t{0xFFFF} | 101;
  const struct {
    std::uintptr_t command;
    bool running;
    std::vector<Path> existing;
    std::vector<int> answers;
    std::vector<std::string> events;
    CommandFollowUp follow_up;
    std::uint32_t start_error = 0, shell_error = 0, stop_status = 0;
  } cases[] = {
      {101, true, {companion}, {}, {kProbe, kStop}, DestroyWindow},
      {101, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow},
      // The missing-companion box does not keep the window open.
      {101, false, {uninstaller}, {}, {kProbe, kMissingCompanion}, DestroyWindow},
      {noisy, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow},
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
      // The window owns the elevation prompts of the toggle and of the uninstall's stop.
      {101, false, {companion}, {}, {kProbe, kStartCompanion, kShellCompanion}, DestroyWindow, 740},
      {101, true, {}, {}, {kProbe, kStop, kProbe, kElevatedStop}, DestroyWindow, 0, 0, 1},
      {103, true, {uninstaller}, {6}, refused_stop, Quit, 0, 0, 1},
      {101, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow, 5},
      {0x00650000, true, {}, {}, {}, Stay},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_results = {OutputOf(c.running ? "lanternfield.exe" : "")};
    system.stop_result = OutputOf("", "", c.stop_status);
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
