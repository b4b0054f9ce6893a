#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "platform/cmdline/split_command_line.h"
#include "windows/helpers/paths_cmdline_support.h"

namespace ltf {
namespace {

using testing::Fields;

class ParseCommandLineTest : public testing::ScratchTest {
 protected:
  // What the helper copy parsed, once its raw line shows the line arrived as it was sent.
  Fields Parsed(const std::u16string& line, bool through_ntdll) {
    const Fields report = testing::Run(helper_, line, through_ntdll);
    EXPECT_EQ(report[3], ToUtf8(line)) << "the line did not arrive as it was sent";
    return Fields(report.begin() + 4, report.end());
  }
};

TEST_F(ParseCommandLineTest, SplitsTheLineItWasStartedWith) {
  const std::pair<std::u16string, Fields> cases[] = {
      {u"\"C:\\Program Files\\h.exe\"  \"--silent\"", {"C:\\Program Files\\h.exe", "--silent"}},
      {u"\"C:\\dir\\\"h.exe\tx", {"C:\\dir\\h.exe", "x"}},
      {u"h.exe\t\t--si\"lent\"\t--sil\nent", {"h.exe", "--silent", "--sil\nent"}},
      {u"h.exe a\\\\\\\"b \"c d\" e\\\\\"f g\" h\\", {"h.exe", "a\\\"b", "c d", "e\\f g", "h\\"}},
      {u"h.exe \"\" \"a\"\"b\" --silent\xD800 \"open",
       {"h.exe", "", "a\"b", "--silent\xEF\xBF\xBD", "open"}}};
  for (const auto& [line, arguments] : cases) {
    EXPECT_EQ(Parsed(line, false), arguments) << ToUtf8(line);
  }
}

// CreateProcessW under Wine fills in an empty line, so this child is started through ntdll.
TEST_F(ParseCommandLineTest, AnEmptyLineGivesTheExecutablePath) {
  EXPECT_EQ(Parsed(u"", true), Fields{ToUtf8(helper_)});
}

// The real launcher beside a copy named as the companion: only in silent mode does it start the
// companion and end, without a window.
using LauncherEntryTest = testing::ScratchTest;

TEST_F(LauncherEntryTest, AQuotedSilentSwitchStartsTheCompanionWithoutAWindow) {
  const std::u16string launcher = root_ + u"\\" LTF_LAUNCHER_EXE;
  ASSERT_TRUE(testing::CopyInto(*ParentPath(*ExecutablePath()) + u"\\" LTF_LAUNCHER_EXE, launcher));
  ASSERT_TRUE(testing::CopyInto(helper_, root_ + u"\\lanternfield.exe"));
  testing::Run(launcher, u"\"" LTF_LAUNCHER_EXE "\" \"--silent\"", false);
  // The companion is started and released, so it may still be on its way.
  const std::u16string marker = root_ + u"\\companion-started";
  int waited = 0;
  while (GetFileAttributesW(testing::Wide(marker)) == INVALID_FILE_ATTRIBUTES && ++waited < 100) {
    Sleep(100);
  }
  EXPECT_LT(waited, 100) << "the companion did not start";
}

}  // namespace
}  // namespace ltf
