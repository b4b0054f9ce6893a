#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/paths/path_layout.h"
#include "platform/paths/path_model.h"

namespace ltf {
namespace {

struct LayoutCase {
  std::u16string path;
  PrefixKind kind;
  std::size_t prefix_length;
  bool has_root;
};

TEST(PathLayoutTest, ReadsEachPrefixForm) {
  const LayoutCase cases[] = {
      {u"C:\\x", PrefixKind::Drive, 2, true},
      {u"c:x", PrefixKind::Drive, 2, false},
      {u"1:\\x", PrefixKind::None, 0, false},
      {u"\\\\server\\share\\x", PrefixKind::Unc, 14, true},
      {u"//server/share", PrefixKind::Unc, 14, true},
      {u"\\\\server", PrefixKind::None, 0, true},
      {u"\\\\\\share", PrefixKind::None, 0, true},
      {u"\\\\.\\COM1\\x", PrefixKind::Device, 8, true},
      {u"//./pipe/x", PrefixKind::Device, 8, true},
      {u"\\\\?\\C:\\x", PrefixKind::VerbatimDrive, 6, true},
      {u"\\\\?\\C:x", PrefixKind::Verbatim, 7, true},
      {u"\\\\?\\c:/x", PrefixKind::Verbatim, 8, true},
      {u"\\\\?\\UNC\\srv\\sh\\x", PrefixKind::VerbatimUnc, 14, true},
      {u"\\\\?\\UNC\\srv", PrefixKind::VerbatimUnc, 11, true},
      {u"\\\\?\\UNC\\srv\\", PrefixKind::VerbatimUnc, 11, true},
      // Not verbatim with a "/" among the first four units: a UNC server named "?".
      {u"\\\\?/C:\\x", PrefixKind::Unc, 6, true},
      {u"x\\y", PrefixKind::None, 0, false},
  };
  for (const LayoutCase& c : cases) {
    const PathLayout layout = ReadLayout(c.path);
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(layout.prefix.kind, c.kind);
    EXPECT_EQ(layout.prefix.length, c.prefix_length);
    EXPECT_EQ(layout.HasRoot(), c.has_root);
  }
}

struct ParentCase {
  std::u16string path;
  std::optional<std::u16string> parent;
};

TEST(ParentPathTest, DropsTheLastComponentAndWhatTrailsBeforeIt) {
  const ParentCase cases[] = {
      {u"C:\\Apps\\Tool\\launcher.exe", u"C:\\Apps\\Tool"},
      {u"C:\\launcher.exe", u"C:\\"},
      {u"\\\\?\\C:\\Apps\\launcher.exe", u"\\\\?\\C:\\Apps"},
      {u"", std::nullopt},
      {u"C:", std::nullopt},
      {u"C:\\", std::nullopt},
      {u"\\\\server\\share", std::nullopt},
      {u"\\\\server\\share\\", std::nullopt},
      {u"\\\\?\\C:\\", std::nullopt},
      {u"\\\\server\\share\\x", u"\\\\server\\share\\"},
      {u"\\\\.\\pipe\\x", u"\\\\.\\pipe\\"},
      {u"\\\\?\\UNC\\srv\\sh\\x", u"\\\\?\\UNC\\srv\\sh\\"},
      {u"a\\b\\\\", u"a"},
      {u"a//b/./", u"a"},
      {u"a\\.\\b", u"a"},
      {u".\\a", u"."},
      {u".", u""},
      {u"..\\a", u".."},
      {u"a\\..", u"a"},
      {u"C:x", u"C:"},
      {u"C:.\\x", u"C:."},
      {u"\\\\?\\C:\\a\\.\\b", u"\\\\?\\C:\\a\\."},
      {u"\\\\?\\C:\\a/b", u"\\\\?\\C:\\"},
      {u"C:\\\xD800x\\\xDC00", u"C:\\\xD800x"},
  };
  for (const ParentCase& c : cases) {
    SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
    EXPECT_EQ(ParentPath(c.path), c.parent);
  }
}

struct JoinCase {
  std::u16string base;
  std::u16string part;
  std::u16string joined;
};

TEST(JoinPathTest, AppendsReplacesOrRebuilds) {
  const JoinCase cases[] = {
      {u"C:\\Apps\\Tool", u"lanternfield.exe", u"C:\\Apps\\Tool\\lanternfield.exe"},
      {u"C:\\", u"lanternfield.exe", u"C:\\lanternfield.exe"},
      {u".", u"lanternfield.exe", u".\\lanternfield.exe"},
      {u"", u"x", u"x"},
      {u"C:/a/", u"x", u"C:/a/x"},
      {u"a", u"", u"a\\"},
      {u"C:", u"x", u"C:x"},
      {u"C:\\a", u"D:\\b", u"D:\\b"},
      {u"C:\\a", u"D:x", u"D:x"},
      {u"C:\\a", u"\\\\srv\\sh\\x", u"\\\\srv\\sh\\x"},
      {u"C:\\a", u"\\b", u"C:\\b"},
      {u"a\\b", u"\\c", u"\\c"},
      {u"\\\\srv\\sh\\a", u"/b", u"\\\\srv\\sh/b"},
      {u"\\\\?\\C:\\Apps", u"lanternfield.exe", u"\\\\?\\C:\\Apps\\lanternfield.exe"},
      {u"\\\\?\\C:\\a", u"b/c", u"\\\\?\\C:\\a\\b\\c"},
      {u"\\\\?\\C:\\a\\b", u"..\\c", u"\\\\?\\C:\\a\\c"},
      {u"\\\\?\\C:\\a", u".\\..\\..\\x\\", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:\\a\\.", u"..", u"\\\\?\\C:\\a\\."},
      {u"\\\\?\\C:\\a", u"\\x", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:", u"x", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:\\a\\", u"b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\?\\UNC\\srv\\sh\\a", u"b", u"\\\\?\\UNC\\srv\\sh\\a\\b"},
      {u"\\\\?\\", u"x", u"\\\\?\\x"},
      {u"\\\\?\\C:\\a", u"", u"\\\\?\\C:\\a\\"},
      // Half pairs stay apart, unmerged and unreplaced.
      {u"C:\\\xD800", u"\xDC00", u"C:\\\xD800\\\xDC00"},
      {u"\\\\?\\C:\\\xD800", u"\xDC00", u"\\\\?\\C:\\\xD800\\\xDC00"},
  };
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(std::string(c.base.begin(), c.base.end()) + " + " +
                 std::string(c.part.begin(), c.part.end()));
    EXPECT_EQ(JoinPath(c.base, c.part), c.joined);
  }
}

}  // namespace
}  // namespace ltf
