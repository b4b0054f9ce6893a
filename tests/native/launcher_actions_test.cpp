#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

using namespace ltf::testing;

TEST(CompanionActionsTest, RunExactlyTheseChildrenAndBoxes) {
  // Stands for the launcher window that owns the uninstall flow's boxes.
  const auto window = reinterpret_cast<WindowHandle>(0x1234);
  const auto start = [](System& s) { StartCompanion(s); };
  const auto uninstall = [&](bool result) {
    return [=](System& s) { EXPECT_EQ(UninstallCompanion(s, window), result); };
  };
  const std::string update = "start cmd [/C] [start] [" + std::string(UpdatePageUrl()) + "]";
  const std::string start_uninstaller = "start C:\\Apps\\Uninstall.exe";
  const struct {
    std::vector<Path> existing;
    std::vector<int> answers;
    std::function<void(System&)> action;
    std::vector<std::string> expected;
  } cases[] = {
      {{u"C:\\Apps\\lanternfield.exe"}, {}, start, {kStartCompanion}},
      {{u"C:\\Apps\\Uninstall.exe"}, {}, start, {kMissingCompanion}},
      {{}, {}, [](System& s) { StopCompanion(s); }, {kStop}},
      {{}, {}, [](System& s) { OpenUpdatePage(s); }, {update}},
      {{u"C:\\Apps\\Uninstall.exe"}, {7}, uninstall(false), {kConfirm}},
      // A box that could not be shown answers 0: no consent either.
      {{u"C:\\Apps\\Uninstall.exe"}, {0}, uninstall(false), {kConfirm}},
      {{u"C:\\Apps\\Uninstall.exe"}, {6}, uninstall(true), {kConfirm, kStop, start_uninstaller}},
      {{u"C:\\Apps\\lanternfield.exe"},
       {6},
       uninstall(false),
       {kConfirm, kStop, kMissingUninstaller}},
  };
  for (const auto& c : cases) {
    FakeSystem system;
    system.existing_paths.insert(c.existing.begin(), c.existing.end());
    system.box_answers.assign(c.answers.begin(), c.answers.end());
    c.action(system);
    EXPECT_EQ(system.events, c.expected) << c.expected.back();
  }
}

TEST(CompanionActionsTest, UpdatePageIsAPlainHttpsUrlEndingInUpdate) {
  const std::string_view url = UpdatePageUrl();
  EXPECT_TRUE(url.starts_with("https://") && url.ends_with("/update")) << url;
  // cmd's start command receives it unquoted, so it must hold nothing cmd would interpret.
  EXPECT_EQ(url.find_first_of(" \t\"&|<>^%()"), std::string_view::npos) << url;
}

}  // namespace
}  // namespace ltf
