#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launch_mode.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

using namespace std::string_literals;

struct ModeCase {
  std::vector<std::string> arguments;
  LaunchMode expected;
};

class ChooseLaunchModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ChooseLaunchModeTest, MatchesOnlyTheExactSwitch) {
  EXPECT_EQ(ChooseLaunchMode(GetParam().arguments), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ChooseLaunchModeTest,
    ::testing::Values(ModeCase{{"launcher.exe"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent"}, LaunchMode::Silent},
                      ModeCase{{"launcher.exe", "--silent", "x", "y"}, LaunchMode::Silent},
                      ModeCase{{"launcher.exe", "x", "--silent", "y"}, LaunchMode::Silent},
                      ModeCase{{"launcher.exe", "x", "y", "--silent"}, LaunchMode::Silent},
                      ModeCase{{"launcher.exe", "--silent", "--silent"}, LaunchMode::Silent},
                      ModeCase{{"--silent"}, LaunchMode::Silent},
                      ModeCase{{"launcher.exe", "--SILENT"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--Silent"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent=1"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent="}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silentx"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent "}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", " --silent"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent\0"s}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silen"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "-silent"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "/silent"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "---silent"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "\"--silent\""}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", "--silent\xEF\xBF\xBD"}, LaunchMode::Window},
                      ModeCase{{"launcher.exe", ""}, LaunchMode::Window},
                      ModeCase{{""}, LaunchMode::Window}));

TEST(RunSilentModeTest, ProbesOnceAndStartsAtMostOnce) {
  struct Case {
    const char* name;
    std::expected<ProcessOutput, ProcessError> probe;
    bool companion_present;
    std::vector<std::string> expected;
  };
  const std::string start = "start C:\\Apps\\Tool\\lanternfield.exe";
  const std::string missing_box =
      "box unowned 0x10 \"Lanternfield Error\" \"lanternfield.exe not found in install "
      "directory.\"";
  const auto failed = std::unexpected(ProcessError::NotFound("program not found"));
  const Case cases[] = {
      {"running", testing::OutputOf("lanternfield.exe   4242 Console"), true, {testing::kProbe}},
      {"stopped", testing::OutputOf(""), true, {testing::kProbe, start}},
      {"stopped, executable missing", testing::OutputOf(""), false, {testing::kProbe, missing_box}},
      {"probe failed", failed, true, {testing::kProbe, start}},
      {"probe failed, executable missing", failed, false, {testing::kProbe, missing_box}},
  };
  for (const Case& c : cases) {
    testing::FakeSystem system;
    system.probe_result = c.probe;
    if (c.companion_present)
      system.existing_paths.insert(u"C:\\Apps\\Tool\\lanternfield.exe");
    RunSilentMode(system);
    EXPECT_EQ(system.events, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ltf
