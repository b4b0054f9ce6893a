#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher_fake_system.h"
#include "window/launcher_command.h"

namespace ltf {
namespace {

using namespace ltf::testing;
using enum CommandFollowUp;

TEST(HandleLauncherCommandTest, RunsTheCommandOfTheLowWordAndNamesTheFollowUp) {
  const auto window = reinterpret_cast<WindowHandle>(0x1234);
  const Path companion = u"C:\\Apps\\lanternfield.exe", uninstaller = u"C:\\Apps\\Uninstall.exe";
  const std::string update = "start cmd [/C] [start] [" + std::string(UpdatePageUrl()) + "]";
  const std::string start_uninstaller = "start C:\\Apps\\Uninstall.exe";
  const struct {
    std::uintptr_t command;
    bool running;
    std::vector<Path> existing;
    std::vector<int> answers;
    std::vector<std::string> events;
    CommandFollowUp follow_up;
  } cases[] = {
      {101, true, {companion}, {}, {kProbe, kStop}, DestroyWindow},
      {101, false, {companion}, {}, {kProbe, kStartCompanion}, DestroyWindow},
      // The missing-companion box does not keep the window open.
      {101, false, {}, {}, {kProbe, kMissingCompanion}, DestroyWindow},
      // The notification code, and on 64-bit anything above it, is not looked at.
      {0x00010065, true, {}, {}, {kProbe, kStop}, DestroyWindow},
      {~std::uintptr_t{0xFFFF} | 101,
       false,
       {companion},
       {},
       {kProbe, kStartCompanion},
       DestroyWindow},
      {102, true, {}, {}, {update}, Stay},
      {0x00010066, false, {}, {}, {update}, Stay},
      {103, false, {uninstaller}, {6}, {kConfirm, kStop, start_uninstaller}, Quit},
      {103, false, {uninstaller}, {7}, {kConfirm}, Stay},
      {103, false, {companion}, {6}, {kConfirm, kStop, kMissingUninstaller}, Stay},
      {0, true, {}, {}, {}, Stay},
      {100, true, {}, {}, {}, Stay},
      {104, true, {}, {}, {}, Stay},
      {0x00650000, true, {}, {}, {}, Stay},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.probe_result = OutputOf(c.running ? "lanternfield.exe" : "");
    system.existing_paths.insert(c.existing.begin(), c.existing.end());
    system.box_answers.assign(c.answers.begin(), c.answers.end());
    EXPECT_EQ(HandleLauncherCommand(system, window, c.command), c.follow_up) << c.command;
    EXPECT_EQ(system.events, c.events) << c.command;
  }
}

}  // namespace
}  // namespace ltf
