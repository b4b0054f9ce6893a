#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/process/pipe_progress.h"
#include "platform/process/program_lookup.h"

namespace ltf {
namespace {

using namespace std::string_literals;
using Paths = std::vector<Path>;

// A machine with fixed directories, the files in `existing`, and "C:\cwd" as the current
// directory; it records each attribute query, so the order of the search shows.
class FakeLookup final : public LookupSystem {
 public:
  std::optional<Path> own = u"C:\\Launcher";
  std::optional<std::u16string> search_path;
  std::set<Path> existing;
  Paths queried;

  std::optional<Path> OwnDirectory() override { return own; }
  std::optional<Path> SystemDirectory() override { return u"C:\\Windows\\system32"; }
  std::optional<Path> WindowsDirectory() override { return u"C:\\Windows"; }
  std::optional<std::u16string> SearchPathVariable() override { return search_path; }
  // "\.." drops the component before it, enough to tell a verbatim path that would change.
  std::expected<Path, WindowsError> FullPathName(const TerminatedPath& path) override {
    Path full(path.Units());
    if (auto dots = full.find(u"\\.."); dots != Path::npos) {
      full.erase(full.rfind(u'\\', dots - 1), dots + 3 - full.rfind(u'\\', dots - 1));
    }
    return full;
  }
  std::expected<TerminatedPath, WindowsError> ExtendedLengthPath(
      const TerminatedPath& path) override {
    const bool absolute = path.Units().size() > 2 && path.Units()[1] == u':';
    return TerminatedPath::From((absolute ? u"" : u"C:\\cwd\\") + Path(path.Units()))
        .value_or(path);
  }
  bool HasAttributes(const TerminatedPath& path) override {
    queried.emplace_back(path.Units());
    return existing.contains(Path(path.Units()));
  }
};

// The paths here are ASCII.
std::string Narrow(std::u16string_view units) {
  return std::string(units.begin(), units.end());
}

std::string Outcome(const std::expected<TerminatedPath, ProcessError>& resolved) {
  return resolved ? Narrow(resolved->Units()) : std::string(resolved.error().message);
}

TEST(SplitSearchPathTest, QuotesProtectSemicolonsAndEmptyEntriesGo) {
  const std::pair<std::u16string, Paths> cases[] = {
      {u"C:\\a;\"C:\\b;c\";C:\\d", {u"C:\\a", u"C:\\b;c", u"C:\\d"}},
      {u"C:\\a;;\"C:\\b;c\"", {u"C:\\a", u"C:\\b;c"}},
      {u";\"\";", {}},
      {u"C:\\x\"y;z\"w", {u"C:\\xy;zw"}},
      {u"\"C:\\open;ended", {u"C:\\open;ended"}},
  };
  for (const auto& [variable, entries] : cases) {
    EXPECT_EQ(SplitSearchPath(variable), entries);
  }
}

struct LookupCase {
  std::u16string program;
  std::set<Path> existing;
  std::string expected;
};

TEST(ResolveProgramTest, FindsTheFileThatWouldRun) {
  const LookupCase cases[] = {
      // Bare names: own directory, system, Windows, then PATH; never the current directory.
      {u"tasklist",
       {u"C:\\Launcher\\tasklist.exe", u"C:\\Windows\\system32\\tasklist.exe"},
       "C:\\Launcher\\tasklist.exe"},
      {u"tasklist",
       {u"C:\\Windows\\tasklist.exe", u"C:\\Windows\\system32\\tasklist.exe"},
       "C:\\Windows\\system32\\tasklist.exe"},
      {u"tool", {u"C:\\b;c\\tool.exe", u"C:\\d\\tool.exe"}, "C:\\b;c\\tool.exe"},
      {u"tool", {u"C:\\cwd\\tool.exe"}, "program not found"},
      {u"my.tool", {u"C:\\d\\my.tool", u"C:\\d\\my.tool.exe"}, "C:\\d\\my.tool"},
      {u".hidden", {u"C:\\d\\.hidden.exe"}, "program not found"},
      {u"cmd", {u"C:\\d\\cmd"}, "program not found"},
      // Paths are never searched; ".exe" is added only when that finds a file.
      {u"C:\\x\\prog", {u"C:\\x\\prog.exe"}, "C:\\x\\prog.exe"},
      {u"C:\\x\\prog", {}, "C:\\x\\prog"},
      {u"\\x", {u"C:\\cwd\\\\x.exe"}, "C:\\cwd\\\\x.exe"},
      {u"C:\\x\\a.txt", {u"C:\\x\\a.txt.exe"}, "C:\\x\\a.txt.exe"},
      {u"C:\\x\\ABSENT.EXE", {}, "C:\\x\\ABSENT.EXE"},
      {u"C:\\x\\Absent.Exe", {u"C:\\x\\Absent.Exe.exe"}, "C:\\x\\Absent.Exe"},
      {u"C:/x/prog", {}, "C:/x/prog"},
      {u"sub\\lanternfield.exe", {}, "C:\\cwd\\sub\\lanternfield.exe"},
      // Verbatim forms lose the prefix only when Windows would read the same path without it.
      {u"\\\\?\\C:\\x\\prog.exe", {}, "C:\\x\\prog.exe"},
      {u"\\\\?\\C:\\x\\..\\prog.exe", {}, "\\\\?\\C:\\x\\..\\prog.exe"},
      {u"\\\\?\\UNC\\server\\share\\prog.exe", {}, "\\\\server\\share\\prog.exe"},
      // CreateProcessW takes at most MAX_PATH units with the terminator in the plain form.
      {u"\\\\?\\C:\\" + Path(248, u'x') + u".exe", {}, "C:\\" + std::string(248, 'x') + ".exe"},
      {u"\\\\?\\C:\\" + Path(249, u'x') + u".exe",
       {},
       "\\\\?\\C:\\" + std::string(249, 'x') + ".exe"},
      // Refused before anything is run.
      {u"", {}, "program path has no file name"},
      {u"C:\\x\\", {}, "program path has no file name"},
      {u"x/", {}, "program path has no file name"},
      {u"task\0list"s, {}, "nul byte found in provided data"},
      {u"C:\\x\\a\0b.exe"s, {}, "strings passed to WinAPI cannot contain NULs"},
  };
  for (const LookupCase& c : cases) {
    FakeLookup lookup;
    lookup.search_path = u"C:\\a;;\"C:\\b;c\";C:\\d";
    lookup.existing = c.existing;
    EXPECT_EQ(Outcome(ResolveProgram(lookup, c.program)), c.expected) << Narrow(c.program);
  }
}

TEST(ResolveProgramTest, SearchesEachDirectoryOnceInOrderAndSkipsWhatIsMissing) {
  FakeLookup lookup;
  lookup.search_path = u"C:\\a;\"C:\\b;c\"";
  EXPECT_EQ(Outcome(ResolveProgram(lookup, u"tasklist")), "program not found");
  EXPECT_EQ(
      lookup.queried,
      (Paths{u"C:\\Launcher\\tasklist.exe", u"C:\\Windows\\system32\\tasklist.exe",
             u"C:\\Windows\\tasklist.exe", u"C:\\a\\tasklist.exe", u"C:\\b;c\\tasklist.exe"}));

  lookup.own.reset();
  lookup.search_path.reset();
  lookup.queried.clear();
  EXPECT_EQ(Outcome(ResolveProgram(lookup, u"tasklist")), "program not found");
  EXPECT_EQ(lookup.queried,
            (Paths{u"C:\\Windows\\system32\\tasklist.exe", u"C:\\Windows\\tasklist.exe"}));
}

// A relative entry would be read against the current directory, so it is not even looked at.
TEST(ResolveProgramTest, SearchesOnlyTheAbsoluteEntriesOfPath) {
  const Paths fixed{u"C:\\Launcher\\tool.exe", u"C:\\Windows\\system32\\tool.exe",
                    u"C:\\Windows\\tool.exe"};
  const struct {
    std::u16string variable;
    std::string expected;
    Paths searched;  // after the fixed directories
  } cases[] = {
      {u".;bin;C:;C:bin;\\bin", "program not found", {}},
      {u"bin;D:\\d;.", "D:\\d\\tool.exe", {u"D:\\d\\tool.exe"}},
      {u"D:/d", "D:/d\\tool.exe", {u"D:/d\\tool.exe"}},
  };
  for (const auto& c : cases) {
    FakeLookup lookup;
    lookup.search_path = c.variable;
    lookup.existing = {u"C:\\cwd\\.\\tool.exe", u"C:\\cwd\\bin\\tool.exe", u"D:\\d\\tool.exe",
                       u"D:/d\\tool.exe"};
    EXPECT_EQ(Outcome(ResolveProgram(lookup, u"tool")), c.expected) << Narrow(c.variable);
    Paths searched = fixed;
    searched.insert(searched.end(), c.searched.begin(), c.searched.end());
    EXPECT_EQ(lookup.queried, searched) << Narrow(c.variable);
  }
}

TEST(PrepareLaunchTest, RefusesBatchFilesAndKeepsTheNameAsGiven) {
  FakeLookup lookup;
  lookup.existing = {u"C:\\Windows\\system32\\cmd.exe", u"C:\\Launcher\\setup.cmd"};
  const std::vector<std::u16string> arguments{u"/C", u"start"};
  const auto plan = PrepareLaunch(lookup, u"cmd", arguments);
  ASSERT_TRUE(plan.has_value());
  EXPECT_EQ(plan->application.Units(), u"C:\\Windows\\system32\\cmd.exe");
  EXPECT_EQ(plan->command_line, u"\"cmd\" /C start"s + u'\0');

  for (const std::u16string program :
       {u"setup.cmd", u"C:\\x\\run.bat", u"C:\\x\\RUN.Cmd", u"C:\\x\\run.bat. ."}) {
    const auto refused = PrepareLaunch(lookup, program, arguments);
    ASSERT_FALSE(refused.has_value()) << Narrow(program);
    EXPECT_EQ(refused.error().kind, ProcessErrorKind::InvalidInput);
  }
  EXPECT_EQ(PrepareLaunch(lookup, u"cmd", std::vector<std::u16string>{u"a\0"s}).error().message,
            "nul byte found in provided data");
  const auto launch = [&](const TerminatedPath& path) {
    return Path(ToLaunchPath(lookup, path)->Units());
  };
  EXPECT_EQ(TerminatedPath::From(u"\\\\?\\C:\\").transform(launch), u"C:\\");
  // Only a \\?\ form is shortened, never a path that merely looks like one past its start.
  EXPECT_EQ(TerminatedPath::From(u"C:\\ab:\\x").transform(launch), u"C:\\ab:\\x");
}

std::u16string Line(const ProcessCommand& command) {
  auto line = BuildCommandLine(command.program, command.arguments);
  EXPECT_TRUE(line.has_value());
  return line ? *line : std::u16string();
}

TEST(BuildCommandLineTest, QuotesOnlyWhatTheChildWouldSplit) {
  const std::u16string cases[][2] = {
      {u"a", u"a"},
      {u"a b", u"\"a b\""},
      {u"a\tb", u"\"a\tb\""},
      {u"", u"\"\""},
      {u"a\"b", u"a\\\"b"},
      {u"a\\\"b", u"a\\\\\\\"b"},
      {u"C:\\dir\\", u"C:\\dir\\"},
      {u"C:\\my dir\\", u"\"C:\\my dir\\\\\""},
      {u"a\\\\b", u"a\\\\b"},
      {u"a b\"", u"\"a b\\\"\""},
      {u"a\nb", u"a\nb"},
  };
  for (const auto& [argument, expected] : cases) {
    EXPECT_EQ(Line({u"p", {argument}}), u"\"p\" " + expected + u'\0') << argument.size();
  }
  const auto refused = BuildCommandLine(u"p", std::vector<std::u16string>{u"ok", u"a\0b"s});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, "nul byte found in provided data");
}

TEST(BuildCommandLineTest, TheLauncherChildrenGetExactLines) {
  EXPECT_EQ(
      Line(ProbeCommand(12)),
      u"\"tasklist\" /FI \"IMAGENAME eq lanternfield.exe\" /FI \"SESSION eq 12\" /NH"s + u'\0');
  EXPECT_EQ(Line(ProbeCommand(std::nullopt)),
            u"\"tasklist\" /FI \"IMAGENAME eq lanternfield.exe\" /NH"s + u'\0');
  EXPECT_EQ(Line(StopCommand(12)),
            u"\"taskkill\" /F /FI \"SESSION eq 12\" /IM lanternfield.exe"s + u'\0');
  EXPECT_EQ(Line(StopCommand(std::nullopt)), u"\"taskkill\" /F /IM lanternfield.exe"s + u'\0');
  EXPECT_EQ(Line(UpdatePageCommand()),
            std::u16string(u"\"cmd\" /C start " LTF_EXPECTED_UPDATE_URL) + u'\0');
}

// A read that succeeds with 0 bytes only means that the writer wrote 0 bytes.
TEST(TakeFinishedReadTest, OnlyThePipesEndEndsTheStream) {
  const auto error = [](std::uint32_t code) { return std::unexpected(WindowsError{code}); };
  const struct {
    std::expected<std::uint32_t, WindowsError> read;  // the bytes read, or the read's error
    std::size_t length;
    bool at_end;
    std::uint32_t failure;  // 0: no error
  } cases[] = {
      {5, 15, false, 0},             // bytes
      {0, 10, false, 0},             // the writer wrote 0 bytes
      {error(109), 10, true, 0},     // ERROR_BROKEN_PIPE
      {error(38), 10, true, 0},      // ERROR_HANDLE_EOF
      {error(995), 10, false, 995},  // ERROR_OPERATION_ABORTED
  };
  for (const auto& c : cases) {
    PipeProgress progress{10, false};
    const auto taken = TakeFinishedRead(progress, c.read);
    const std::uint32_t row = c.read ? *c.read : c.read.error().code;
    EXPECT_EQ(taken ? 0 : taken.error().code, c.failure) << row;
    EXPECT_EQ(progress.length, c.length) << row;
    EXPECT_EQ(progress.at_end, c.at_end) << row;
  }
}

}  // namespace
}  // namespace ltf
