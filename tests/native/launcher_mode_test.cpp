#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launch_mode.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

using namespace std::string_literals;
using namespace ltf::testing;

TEST(ChooseLaunchModeTest, OnlyTheExactSwitchAnywhereSelectsSilent) {
  const std::vector<std::string> silent[] = {
      {"launcher.exe", "--silent"},
      {"launcher.exe", "--silent", "x"},
      {"launcher.exe", "x", "--silent", "y"},
      {"launcher.exe", "--silent", "--silent"},
      {"--silent"},
  };
  for (const auto& arguments : silent) {
    EXPECT_EQ(ChooseLaunchMode(arguments), LaunchMode::Silent) << arguments.back();
  }
  const std::string near_misses[] = {
      "--SILENT", "--Silent", "--silent=1", "--silentx",    "--silent ",   " --silent", "--silen",
      "-silent",  "/silent",  "---silent",  "\"--silent\"", "--silent\0"s, "",
  };
  for (const std::string& argument : near_misses) {
    EXPECT_EQ(ChooseLaunchMode(std::vector<std::string>{"launcher.exe", argument}),
              LaunchMode::Window)
        << argument;
  }
  EXPECT_EQ(ChooseLaunchMode(std::vector<std::string>{"launcher.exe"}), LaunchMode::Window);
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
      {failed, false, {kProbe, kMissingCompanion}},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_result = c.probe;
    if (c.present)
      system.existing_paths.insert(u"C:\\Apps\\lanternfield.exe");
    RunSilentMode(system);
    EXPECT_EQ(system.events, c.expected) << c.expected.back();
  }
}

}  // namespace
}  // namespace ltf
