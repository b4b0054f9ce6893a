#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/cmdline/cmdline.h"
#include "platform/paths/paths.h"
#include "support.h"

namespace ltf {
namespace {

using namespace ltf::testing;

TEST(PathExistsTest, TellsEntriesFromMissingOnesAndHandsOnTheVerbatimForm) {
  const ScratchDirectory scratch;
  const std::u16string root = scratch.Path(), file = scratch.Plant(u"file.exe");
  const std::pair<std::u16string, bool> cases[] = {
      {file, true},
      {root, true},
      {root + u"\\missing.txt", false},
      {file + std::u16string(u"\0\\x", 3), false},
      {u".\\file.exe", true},
      {u"missing.txt", false},
  };
  // Asked for, or unasked at the threshold length of a rooted path.
  const std::u16string name = root + u"\\" + std::u16string(300, u'x');
  const std::tuple<std::u16string, bool, std::u16string> forms[] = {
      {u"file.exe", true, Verbatim(file)},
      {name.substr(0, 246), false, name.substr(0, 246)},
      {name.substr(0, 247), false, Verbatim(name.substr(0, 247))}};
  wchar_t saved[MAX_PATH + 1];
  ASSERT_TRUE(GetCurrentDirectoryW(MAX_PATH + 1, saved) && SetCurrentDirectoryW(Wide(root)));
  for (const auto& [path, exists] : cases) {
    EXPECT_EQ(PathExists(path), exists) << ToUtf8(path);
  }
  for (const auto& [path, prefer_verbatim, form] : forms) {
    const auto extended = ToExtendedLengthPath(*TerminatedPath::From(path), prefer_verbatim);
    EXPECT_EQ(extended ? extended->Units() : u"(failed)", form) << ToUtf8(path);
  }
  SetCurrentDirectoryW(saved);
}

}  // namespace
}  // namespace ltf
