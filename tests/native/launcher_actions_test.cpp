#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

const std::string kMissingCompanion =
    "box unowned 0x10 \"Lanternfield Error\" \"lanternfield.exe not found in install directory.\"";
const std::string kConfirm =
    "box owned 0x24 \"Uninstall Lanternfield\" \"Are you sure you want to uninstall "
    "Lanternfield?\"";
const std::string kMissingUninstaller =
    "box owned 0x40 \"Lanternfield\" \"Uninstaller not found. Use Settings > Apps.\"";

// Stands for the launcher window that owns the uninstall flow's boxes.
WindowHandle const kWindow = reinterpret_cast<WindowHandle>(0x1234);

struct ActionCase {
  const char* name;
  Path install_directory;
  std::vector<Path> existing;
  std::vector<int> answers;
  std::function<void(System&)> action;
  std::vector<std::string> expected;
};

TEST(CompanionActionsTest, RunExactlyTheseChildrenAndBoxes) {
  const auto start = [](System& s) { StartCompanion(s); };
  const auto uninstall = [](bool expected_result) {
    return [expected_result](System& s) {
      EXPECT_EQ(UninstallCompanion(s, kWindow), expected_result);
    };
  };
  const std::string update = "start cmd [/C] [start] [" + std::string(UpdatePageUrl()) + "]";
  const ActionCase cases[] = {
      {"start, present",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\lanternfield.exe"},
       {},
       start,
       {"start C:\\Apps\\Tool\\lanternfield.exe"}},
      {"start, missing", u"C:\\Apps\\Tool", {}, {}, start, {kMissingCompanion}},
      {"start, other file only",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\Uninstall.exe"},
       {},
       start,
       {kMissingCompanion}},
      {"start, drive root",
       u"C:\\",
       {u"C:\\lanternfield.exe"},
       {},
       start,
       {"start C:\\lanternfield.exe"}},
      {"start, unknown directory",
       u".",
       {u".\\lanternfield.exe"},
       {},
       start,
       {"start .\\lanternfield.exe"}},
      {"stop", u"C:\\Apps\\Tool", {}, {}, [](System& s) { StopCompanion(s); }, {testing::kStop}},
      {"update page", u"C:\\Apps\\Tool", {}, {}, [](System& s) { OpenUpdatePage(s); }, {update}},
      {"uninstall, No",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\Uninstall.exe"},
       {7},
       uninstall(false),
       {kConfirm}},
      {"uninstall, box failed",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\Uninstall.exe"},
       {0},
       uninstall(false),
       {kConfirm}},
      {"uninstall, Cancel-like answer",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\Uninstall.exe"},
       {2},
       uninstall(false),
       {kConfirm}},
      {"uninstall, Yes",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\Uninstall.exe"},
       {6},
       uninstall(true),
       {kConfirm, testing::kStop, "start C:\\Apps\\Tool\\Uninstall.exe"}},
      {"uninstall, Yes, uninstaller missing",
       u"C:\\Apps\\Tool",
       {u"C:\\Apps\\Tool\\lanternfield.exe"},
       {6, 1},
       uninstall(false),
       {kConfirm, testing::kStop, kMissingUninstaller}},
  };
  for (const ActionCase& c : cases) {
    testing::FakeSystem system;
    system.install_directory = c.install_directory;
    system.existing_paths.insert(c.existing.begin(), c.existing.end());
    system.box_answers.assign(c.answers.begin(), c.answers.end());
    c.action(system);
    EXPECT_EQ(system.events, c.expected) << c.name;
  }
}

TEST(CompanionActionsTest, UpdatePageIsAPlainHttpsUrlEndingInUpdate) {
  const std::string_view url = UpdatePageUrl();
  EXPECT_TRUE(url.starts_with("https://")) << url;
  EXPECT_TRUE(url.ends_with("/update")) << url;
  // cmd's start command receives it unquoted, so it must hold nothing cmd would interpret.
  EXPECT_EQ(url.find_first_of(" \t\"&|<>^%"), std::string_view::npos) << url;
}

}  // namespace
}  // namespace ltf
