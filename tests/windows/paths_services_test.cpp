#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/cmdline/split_command_line.h"
#include "platform/paths/path_services.h"
#include "windows/helpers/paths_cmdline_support.h"

namespace ltf {
namespace {

using testing::Fields;
using testing::Verbatim;

using PathsTest = testing::ScratchTest;

TEST_F(PathsTest, ReadsAndReachesPathsPastTheFirstBufferAndMaxPath) {
  std::u16string deep = root_;
  for (int level = 0; level < 3; ++level) {
    deep += u"\\" + std::u16string(200, u'd');
    ASSERT_TRUE(CreateDirectoryW(testing::Wide(Verbatim(deep)), nullptr));
  }
  ASSERT_TRUE(testing::CopyInto(helper_, deep + u"\\" + testing::kHelper));
  const Fields report = testing::Run(deep + u"\\" + testing::kHelper, testing::kHelper, true);
  EXPECT_EQ(report[1], ToUtf8(deep + u"\\" + testing::kHelper));
  EXPECT_EQ(report[2], ToUtf8(deep + u"\\lanternfield.exe"));
  EXPECT_TRUE(PathExists(deep));
  EXPECT_FALSE(PathExists(deep + u"\\missing.txt"));
}

TEST_F(PathsTest, KeepsTheVerbatimFormItWasStartedThrough) {
  const Fields report = testing::Run(Verbatim(helper_), testing::kHelper, false);
  if (!report[0].starts_with("\\\\?\\")) {
    GTEST_SKIP() << "this system names the module without the \\\\?\\ form: " << report[0];
  }
  EXPECT_EQ(report[1], report[0]);
  EXPECT_EQ(report[2], ToUtf8(Verbatim(root_) + u"\\lanternfield.exe"));
}

TEST_F(PathsTest, PathExistsTellsEntriesFromMissingOnesAndHandsOnTheVerbatimForm) {
  const std::pair<std::u16string, bool> cases[] = {
      {helper_, true},
      {root_, true},
      {root_ + u"\\missing.txt", false},
      {helper_ + std::u16string(u"\0\\x", 3), false},
      {u".\\" + std::u16string(testing::kHelper), true},
  };
  // Asked for, or unasked at the threshold length of a rooted path.
  const std::u16string name = root_ + u"\\" + std::u16string(300, u'x');
  const std::tuple<std::u16string, bool, std::u16string> forms[] = {
      {testing::kHelper, true, Verbatim(helper_)},
      {name.substr(0, 246), false, name.substr(0, 246)},
      {name.substr(0, 247), false, Verbatim(name.substr(0, 247))}};
  wchar_t saved[MAX_PATH + 1];
  ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH + 1, saved) &&
              SetCurrentDirectoryW(testing::Wide(root_)));
  for (const auto& [path, exists] : cases) {
    EXPECT_EQ(PathExists(path), exists) << ToUtf8(path);
  }
  for (const auto& [path, prefer_verbatim, form] : forms) {
    const auto extended = ToExtendedLengthPath(*TerminatedPath::From(path), prefer_verbatim);
    EXPECT_EQ(extended ? extended->Units() : u"(failed)", form) << ToUtf8(path);
  }
  SetCurrentDirectoryW(saved);
}

TEST_F(PathsTest, PathExistsIsFalseForADanglingSymbolicLink) {
  const std::u16string link = root_ + u"\\dangling";
  CreateSymbolicLinkW(testing::Wide(link), testing::Wide(root_ + u"\\missing.txt"), 0);
  const auto metadata = QueryFileMetadata(*TerminatedPath::From(link), LinkMode::NoFollow);
  if (!metadata || !metadata->IsSymbolicLink()) {
    // Wine 8 answers TRUE from CreateSymbolicLinkW without making anything.
    GTEST_SKIP() << "no symbolic link could be made here";
  }
  EXPECT_FALSE(PathExists(link));
}

}  // namespace
}  // namespace ltf
