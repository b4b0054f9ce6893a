#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "platform/process/pipe_progress.h"
#include "platform/process/program_lookup.h"
#include "quoting_cases.h"

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

// Each directory is asked once, in order, PATH split at the ";" outside quotes. A relative entry
// would be read against the current directory, so it is not even looked at.
TEST(ResolveProgramTest, SearchesEachAbsoluteDirectoryOnceInOrder) {
  const struct {
    std::optional<std::u16string> variable;
    bool own;  // the launcher's own directory could be read
    std::string expected;
    Paths searched;  // after the fixed directories
  } cases[] = {
      {u"C:\\a;\"C:\\b;c\"", true, "program not found", {u"C:\\a\\tool.exe", u"C:\\b;c\\tool.exe"}},
      {std::nullopt, false, "program not found", {}},
      {u".;bin;C:;C:bin;\\bin", true, "program not found", {}},
      {u"bin;D:\\d;.", true, "D:\\d\\tool.exe", {u"D:\\d\\tool.exe"}},
      {u"D:/d", true, "D:/d\\tool.exe", {u"D:/d\\tool.exe"}},
      // Quotes keep a ";" in an entry, even one opened mid-entry or never closed.
      {u"D:\\\"d;\"x;;\"D:\\e",
       true,
       "program not found",
       {u"D:\\d;x\\tool.exe", u"D:\\e\\tool.exe"}},
  };
  for (const auto& c : cases) {
    FakeLookup lookup;
    lookup.search_path = c.variable;
    if (!c.own) {
      lookup.own.reset();
    }
    lookup.existing = {u"C:\\cwd\\.\\tool.exe", u"C:\\cwd\\bin\\tool.exe", u"D:\\d\\tool.exe",
                       u"D:/d\\tool.exe"};
    EXPECT_EQ(Outcome(ResolveProgram(lookup, u"tool")), c.expected) << c.own;
    Paths searched = c.own ? Paths{u"C:\\Launcher\\tool.exe"} : Paths{};
    searched.insert(searched.end(), {u"C:\\Windows\\system32\\tool.exe", u"C:\\Windows\\tool.exe"});
    searched.insert(searched.end(), c.searched.begin(), c.searched.end());
    EXPECT_EQ(lookup.queried, searched) << c.own << " " << c.expected;
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
  for (const auto& [argument, expected] : testing::kQuotingCases) {
    EXPECT_EQ(Line({u"p", {std::u16string(argument)}}),
              u"\"p\" " + std::u16string(expected) + u'\0')
        << argument.size();
  }
  const auto refused = BuildCommandLine(u"p", std::vector<std::u16string>{u"ok", u"a\0b"s});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, "nul byte found in provided data");
}

// One pipe's reads in turn: a read of 0 bytes is a writer's write of 0 bytes, so the stream goes
// on past it, and ends at the first error that says the writer is gone; any other error fails.
TEST(TakeFinishedReadTest, AStreamEndsOnlyWhereItsWriterHasGone) {
  const auto error = [](std::uint32_t code) { return std::unexpected(WindowsError{code}); };
  for (const std::uint32_t end : {38u, 109u}) {  // ERROR_HANDLE_EOF, ERROR_BROKEN_PIPE
    PipeProgress progress;
    for (const std::uint32_t bytes : {5u, 0u, 3u, 0u}) {
      ASSERT_TRUE(TakeFinishedRead(progress, bytes).has_value());
      EXPECT_FALSE(progress.at_end);
    }
    EXPECT_TRUE(TakeFinishedRead(progress, error(end)).has_value());
    EXPECT_TRUE(progress.at_end);
    EXPECT_EQ(progress.length, 8u);
  }
  PipeProgress aborted;
  const auto failed = TakeFinishedRead(aborted, error(995));  // ERROR_OPERATION_ABORTED
  EXPECT_EQ(failed ? 0 : failed.error().code, 995u);
  EXPECT_FALSE(aborted.at_end);
}

}  // namespace
}  // namespace ltf
