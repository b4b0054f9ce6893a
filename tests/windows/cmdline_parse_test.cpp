#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/cmdline/split_command_line.h"
#include "windows/helpers/nt_process_start.h"
#include "windows/helpers/paths_cmdline_support.h"

namespace ltf {
namespace {

using Fields = std::vector<std::string>;

// The echo helper's report: its raw command line, the mode it chose, then every argument it
// parsed.
Fields Echo(const std::u16string& command_line) {
  const auto run =
      testing::RunAndCapture(testing::BesideThisProgram(u"" LTF_ARGUMENT_ECHO_EXE), command_line);
  if (!run || run->exit_code != 0) {
    ADD_FAILURE() << "the echo helper did not run";
    return {};
  }
  return testing::SplitFields(run->output);
}

TEST(ParseCommandLineTest, SplitsTheLineItWasStartedWith) {
  const struct {
    std::u16string line;
    Fields report;
  } cases[] = {
      {u"echo.exe", {"window", "echo.exe"}},
      {u"echo.exe --silent", {"silent", "echo.exe", "--silent"}},
      {u"\"C:\\Program Files\\App\\echo.exe\"  \"--silent\"",
       {"silent", "C:\\Program Files\\App\\echo.exe", "--silent"}},
      {u"echo.exe --si\"lent\"", {"silent", "echo.exe", "--silent"}},
      {u"echo.exe\t\tx\t--silent\t", {"silent", "echo.exe", "x", "--silent"}},
      {u"--silent", {"silent", "--silent"}},
      {u"echo.exe --SILENT -silent \"--silent \"",
       {"window", "echo.exe", "--SILENT", "-silent", "--silent "}},
      {u"echo.exe --sil\nent", {"window", "echo.exe", "--sil\nent"}},
      {u"echo.exe a\\\\\\\"b \"c d\" e\\\\\"f g\" h\\",
       {"window", "echo.exe", "a\\\"b", "c d", "e\\f g", "h\\"}},
      {u"echo.exe \"\" \"a\"\"b\" \"open", {"window", "echo.exe", "", "a\"b", "open"}},
      {u"\"C:\\dir\\\"echo.exe x", {"window", "C:\\dir\\echo.exe", "x"}},
      {u"echo.exe --silent\xD800 \u00E9",
       {"window", "echo.exe", "--silent\xEF\xBF\xBD", "\xC3\xA9"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.line));
    const Fields report = Echo(c.line);
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[0], ToUtf8(c.line)) << "the line did not arrive as it was sent";
    EXPECT_EQ(Fields(report.begin() + 1, report.end()), c.report);
  }
}

// CreateProcessW under Wine fills in an empty line, so this child is started through ntdll.
TEST(ParseCommandLineTest, AnEmptyLineGivesTheExecutablePath) {
  const std::u16string echo = testing::BesideThisProgram(u"" LTF_ARGUMENT_ECHO_EXE);
  const auto run = testing::RunThroughNtPath(echo, u"");
  ASSERT_TRUE(run);
  EXPECT_EQ(testing::SplitFields(run->output), (Fields{"", "window", ToUtf8(echo)}));
}

// The real launcher, run from a scratch directory beside a stand-in companion that leaves a
// file when it starts: only silent mode starts it and exits without a window.
TEST(LauncherEntryTest, AQuotedSilentSwitchStartsTheCompanionWithoutAWindow) {
  const testing::ScratchDirectory scratch;
  ASSERT_TRUE(scratch.Created());
  const std::u16string launcher = scratch.Path() + u"\\" LTF_LAUNCHER_EXE;
  ASSERT_TRUE(testing::CopyInto(testing::BesideThisProgram(u"" LTF_LAUNCHER_EXE), launcher));
  ASSERT_TRUE(testing::CopyInto(testing::BesideThisProgram(u"" LTF_COMPANION_STUB_EXE),
                                scratch.Path() + u"\\lanternfield.exe"));

  std::u16string line = u"\"" LTF_LAUNCHER_EXE "\" \"--silent\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(testing::Wide(launcher), reinterpret_cast<wchar_t*>(line.data()),
                             nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  if (WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), INFINITE);
    FAIL() << "the launcher did not end: it chose window mode";
  }
  DWORD exit_code = 1;
  GetExitCodeProcess(process.Get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);

  // The companion is started and released, so it may still be on its way.
  const std::u16string marker = scratch.Path() + u"\\companion-started";
  bool started = false;
  for (int attempt = 0; attempt < 100 && !started; ++attempt) {
    started = GetFileAttributesW(testing::Wide(marker)) != INVALID_FILE_ATTRIBUTES;
    if (!started) {
      Sleep(100);
    }
  }
  EXPECT_TRUE(started);
}

}  // namespace
}  // namespace ltf
