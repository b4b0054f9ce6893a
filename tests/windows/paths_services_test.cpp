#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/cmdline/split_command_line.h"
#include "platform/paths/path_services.h"
#include "windows/helpers/nt_process_start.h"
#include "windows/helpers/paths_cmdline_support.h"

namespace ltf {
namespace {

using testing::Verbatim;
using testing::Wide;

std::string Utf8(std::u16string_view units) {
  return ToUtf8(units);
}

enum class Start { Verbatim, NtPath };

// Runs a copy of the report helper placed in `directory` (absolute, no prefix) beside a file
// named like the companion. Fields: the raw module name, ExecutablePath, InstallDirectory, the
// joined companion path, and whether it exists.
std::vector<std::string> ReportFrom(const std::u16string& directory, Start start) {
  const std::u16string copy = directory + u"\\" LTF_MODULE_REPORT_EXE;
  if (!testing::CopyInto(testing::BesideThisProgram(u"" LTF_MODULE_REPORT_EXE), copy) ||
      !testing::MakeFile(directory + u"\\lanternfield.exe")) {
    ADD_FAILURE() << "cannot place the helper in " << Utf8(directory);
    return {};
  }
  const std::u16string line = u"" LTF_MODULE_REPORT_EXE;
  const auto run = start == Start::NtPath ? testing::RunThroughNtPath(copy, line)
                                          : testing::RunAndCapture(Verbatim(copy), line);
  if (!run || run->exit_code != 0) {
    ADD_FAILURE() << "the helper did not run: " << (run ? run->exit_code : GetLastError());
    return {};
  }
  const std::vector<std::string> fields = testing::SplitFields(run->output);
  EXPECT_EQ(fields.size(), 5u);
  return fields.size() == 5 ? fields : std::vector<std::string>{};
}

TEST(ModulePathTest, ReadsAPathLongerThanTheFirstBufferWhole) {
  const testing::ScratchDirectory scratch;
  ASSERT_TRUE(scratch.Created());
  std::u16string deep = scratch.Path();
  for (int level = 0; level < 3; ++level) {
    deep += u"\\" + std::u16string(200, u'd');
    ASSERT_TRUE(testing::MakeDirectory(deep));
  }
  const std::vector<std::string> report = ReportFrom(deep, Start::NtPath);
  ASSERT_FALSE(report.empty());
  EXPECT_GT(report[0].size(), 512u);
  EXPECT_EQ(report[0], Utf8(deep + u"\\" LTF_MODULE_REPORT_EXE));
  EXPECT_EQ(report[1], report[0]);
  EXPECT_EQ(report[2], Utf8(deep));
  EXPECT_EQ(report[3], Utf8(deep + u"\\lanternfield.exe"));
  EXPECT_EQ(report[4], "exists");
}

TEST(ModulePathTest, KeepsTheVerbatimFormItWasStartedThrough) {
  const testing::ScratchDirectory scratch;
  ASSERT_TRUE(scratch.Created());
  const std::vector<std::string> report = ReportFrom(scratch.Path(), Start::Verbatim);
  ASSERT_FALSE(report.empty());
  EXPECT_EQ(report[1], report[0]);
  if (!report[0].starts_with("\\\\?\\")) {
    GTEST_SKIP() << "this system names the module without the \\\\?\\ form it was started "
                    "through: "
                 << report[0];
  }
  const std::string directory = Utf8(Verbatim(scratch.Path()));
  EXPECT_EQ(report[2], directory);
  EXPECT_EQ(report[3], directory + "\\lanternfield.exe");
  EXPECT_EQ(report[4], "exists");
}

// Restores the process's current directory however the test ends.
class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const std::u16string& directory) {
    wchar_t saved[MAX_PATH + 1];
    saved_.assign(reinterpret_cast<char16_t*>(saved), GetCurrentDirectoryW(MAX_PATH + 1, saved));
    changed_ = SetCurrentDirectoryW(Wide(directory)) != FALSE;
  }
  CurrentDirectoryScope(const CurrentDirectoryScope&) = delete;
  CurrentDirectoryScope& operator=(const CurrentDirectoryScope&) = delete;
  ~CurrentDirectoryScope() { SetCurrentDirectoryW(Wide(saved_)); }
  bool Changed() const { return changed_; }

 private:
  std::u16string saved_;
  bool changed_ = false;
};

class PathExistsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.Created());
    root_ = scratch_.Path();
    ASSERT_TRUE(testing::MakeFile(root_ + u"\\file.txt"));
    ASSERT_TRUE(testing::MakeDirectory(root_ + u"\\dir"));
  }

  testing::ScratchDirectory scratch_;
  std::u16string root_;
};

TEST_F(PathExistsTest, TellsEntriesFromMissingOnes) {
  std::u16string forward = root_ + u"/dir/../file.txt";
  for (char16_t& unit : forward) {
    unit = unit == u'\\' ? u'/' : unit;
  }
  const struct {
    std::u16string path;
    bool exists;
  } cases[] = {
      {root_ + u"\\file.txt", true},
      {root_ + u"\\dir", true},
      {root_ + u"\\dir\\", true},
      {forward, true},
      {Verbatim(root_ + u"\\file.txt"), true},
      {root_ + u"\\missing.txt", false},
      {root_ + u"\\missing\\file.txt", false},
      {root_ + u"\\file.txt\\x", false},
      {root_ + std::u16string(u"\\file.txt\0", 10), false},
      {root_ + std::u16string(u"\\dir\0\\x", 7), false},
      {u"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.path));
    EXPECT_EQ(PathExists(c.path), c.exists);
  }
}

TEST_F(PathExistsTest, ResolvesRelativePathsAgainstTheCurrentDirectory) {
  const CurrentDirectoryScope scope(root_);
  ASSERT_TRUE(scope.Changed());
  EXPECT_TRUE(PathExists(u"file.txt"));
  EXPECT_TRUE(PathExists(JoinPath(u".", u"file.txt")));
  EXPECT_TRUE(PathExists(u"dir\\..\\dir"));
  EXPECT_FALSE(PathExists(u"missing.txt"));

  const auto extended = ToExtendedLengthPath(*TerminatedPath::From(u"file.txt"), true);
  ASSERT_TRUE(extended);
  EXPECT_EQ(extended->Units(), Verbatim(root_ + u"\\file.txt"));
}

TEST_F(PathExistsTest, ReachesEntriesPastTheShortPathLimit) {
  std::u16string deep = root_;
  while (deep.size() < 260) {
    deep += u"\\" + std::u16string(100, u'e');
    ASSERT_TRUE(testing::MakeDirectory(deep));
  }
  const std::u16string file = deep + u"\\file.txt";
  ASSERT_TRUE(testing::MakeFile(file));
  EXPECT_TRUE(PathExists(file));
  EXPECT_TRUE(PathExists(deep));
  EXPECT_FALSE(PathExists(deep + u"\\missing.txt"));

  const auto extended = ToExtendedLengthPath(*TerminatedPath::From(file), false);
  ASSERT_TRUE(extended);
  EXPECT_EQ(extended->Units(), Verbatim(file));
  const std::u16string short_path = root_ + u"\\file.txt";
  EXPECT_EQ(ToExtendedLengthPath(*TerminatedPath::From(short_path), false)->Units(), short_path);
}

TEST_F(PathExistsTest, DanglingSymbolicLinkIsMissing) {
  const std::u16string dangling = root_ + u"\\dangling";
  const std::u16string good = root_ + u"\\good";
  CreateSymbolicLinkW(Wide(dangling), Wide(root_ + u"\\missing.txt"), 0);
  CreateSymbolicLinkW(Wide(good), Wide(root_ + u"\\file.txt"), 0);
  const auto link = QueryFileMetadata(*TerminatedPath::From(dangling), LinkMode::NoFollow);
  if (!link || !link->IsSymbolicLink()) {
    // Wine 8 answers TRUE from CreateSymbolicLinkW without making anything, and it has no
    // FSCTL_SET_REPARSE_POINT either.
    GTEST_SKIP() << "no symbolic link could be made here";
  }
  EXPECT_FALSE(PathExists(dangling));
  EXPECT_TRUE(PathExists(good));
}

}  // namespace
}  // namespace ltf
