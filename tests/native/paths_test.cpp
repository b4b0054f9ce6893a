#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/growing_buffer.h"
#include "platform/paths/file_metadata.h"
#include "platform/paths/path_layout.h"
#include "platform/paths/paths.h"

namespace ltf {
namespace {

std::string Narrow(std::u16string_view units) {
  return std::string(units.begin(), units.end());
}

TEST(ParentPathTest, DropsTheLastComponentButNeverThePrefixOrRoot) {
  const std::pair<std::u16string, std::optional<std::u16string>> cases[] = {
      {u"C:\\Apps\\Tool\\launcher.exe", u"C:\\Apps\\Tool"},
      {u"C:\\launcher.exe", u"C:\\"},
      {u"", std::nullopt},
      {u"//srv/sh/", std::nullopt},
      {u"\\\\srv\\\\x", u"\\\\srv"},
      {u"//./pipe/x", u"//./pipe/"},
      {u"\\\\?\\UNC\\srv\\sh\\x", u"\\\\?\\UNC\\srv\\sh\\"},
      {u"a\\.//b/./\\", u"a"},
      {u".\\a", u"."},
      {u"a\\..", u"a"},
      {u"C:x", u"C:"},
      {u"\\\\?\\C:\\a\\.\\b", u"\\\\?\\C:\\a\\."},
      {u"\\\\?\\C:\\a/b", u"\\\\?\\C:\\"},
      {u"C:\\\xD800x\\\xDC00", u"C:\\\xD800x"},
  };
  for (const auto& [path, parent] : cases) {
    EXPECT_EQ(ParentPath(path), parent) << Narrow(path);
  }
}

TEST(JoinPathTest, AppendsReplacesOrRebuilds) {
  const std::u16string cases[][3] = {
      {u"C:\\Apps\\Tool", u"lanternfield.exe", u"C:\\Apps\\Tool\\lanternfield.exe"},
      {u"C:\\", u"x", u"C:\\x"},
      {u"C:/a/", u"x", u"C:/a/x"},
      {u"", u"x", u"x"},
      {u"C:", u"x", u"C:x"},
      {u"C:\\a", u"D:\\b", u"D:\\b"},
      {u"C:\\a", u"D:x", u"D:x"},
      {u"C:\\a", u"\\b", u"C:\\b"},
      {u"\\\\srv\\sh\\a", u"/b", u"\\\\srv\\sh/b"},
      {u"\\\\?\\UNC\\srv\\sh\\a", u"b/c", u"\\\\?\\UNC\\srv\\sh\\a\\b\\c"},
      {u"\\\\?\\C:\\a", u".\\..\\..\\x\\", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:\\a\\.", u"..", u"\\\\?\\C:\\a\\."},
      {u"\\\\?\\C:\\a", u"\\x", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:", u"x", u"\\\\?\\C:\\x"},
      {u"\\\\?\\C:", u"\\", u"\\\\?\\C:\\"},
      {u"\\\\?\\C:\\a", u"", u"\\\\?\\C:\\a\\"},
      // Half pairs stay apart, unmerged and unreplaced.
      {u"C:\\\xD800", u"\xDC00", u"C:\\\xD800\\\xDC00"},
      {u"\\\\?\\C:\\\xD800", u"\xDC00", u"\\\\?\\C:\\\xD800\\\xDC00"},
  };
  for (const auto& [base, part, joined] : cases) {
    EXPECT_EQ(JoinPath(base, part), joined) << Narrow(base) << " + " << Narrow(part);
  }
}

TEST(ParsePrefixTest, ReadsEachPrefixFormAndNothingElse) {
  using enum PrefixKind;
  const struct {
    std::u16string path;
    PrefixKind kind;
    std::size_t length;
  } cases[] = {
      {u"a:", Drive, 2},
      {u"z:x", Drive, 2},
      {u"A:\\x", Drive, 2},
      {u"Z:/x", Drive, 2},
      {u"1:\\x", None, 0},
      {u"\\\\a\\share\\x", Unc, 9},
      {u"//srv/sh/x", Unc, 8},
      {u"\\\\srv\\", None, 0},
      {u"\\\\\\sh", None, 0},
      {u"\\\\.\\pipe\\x", Device, 8},
      {u"//./NUL", Device, 7},
      // Under \\?\ only "\" separates, so "a/b" is one server name and "s/h" one share.
      {u"\\\\?\\UNC\\a/b\\s/h\\x", VerbatimUnc, 15},
      {u"\\\\?\\UNC\\srv\\", VerbatimUnc, 11},
      {u"\\\\?\\UNC\\srv\\s\\x", VerbatimUnc, 13},
      {u"\\\\?\\C:\\x", VerbatimDrive, 6},
      {u"\\\\?\\C:", VerbatimDrive, 6},
      {u"\\\\?\\1:\\x", Verbatim, 6},
      {u"\\\\?\\pipe\\x", Verbatim, 8},
      {u"\\\\?\\", Verbatim, 4},
      {u"\\x", None, 0},
      {u"C", None, 0},
  };
  for (const auto& c : cases) {
    const PathPrefix prefix = ParsePrefix(c.path);
    EXPECT_EQ(prefix.kind, c.kind) << Narrow(c.path);
    EXPECT_EQ(prefix.length, c.length) << Narrow(c.path);
  }
}

// 247 units is where the \\?\ form becomes a must; below it, only a caller's preference adds it.
TEST(ExtendedLengthTest, MakesAbsoluteOnlyWhatWindowsWouldNotTakeAndPrefixesLongPaths) {
  const std::u16string at = u"C:\\" + std::u16string(244, u'x'), below = at.substr(0, 246);
  const std::pair<std::u16string, bool> needs[] = {
      {u"", false},     {u"\\\\?\\x", false}, {u"\\??\\x", false},  {u"C:\\x", false},
      {u"C:", false},   {u"C:/x", false},     {u"//srv/sh", false}, {u"C:x", true},
      {u"x", true},     {u"\\x", true},       {at, true},           {below, false},
      {u"\\\\", false}, {u"/", true},         {u"1:/x", false},     {u"C", true},
      {u"C:\\", false},
  };
  for (const auto& [path, expected] : needs) {
    EXPECT_EQ(NeedsFullPath(path), expected) << Narrow(path);
  }
  const std::tuple<std::u16string, bool, std::u16string> forms[] = {
      {u"C:\\x", false, u"C:\\x"},
      {u"C:\\", true, u"\\\\?\\C:\\"},
      {at, false, u"\\\\?\\" + at},
      {u"\\\\srv\\sh\\x", true, u"\\\\?\\UNC\\srv\\sh\\x"},
      {u"\\\\.\\pipe\\x", true, u"\\\\?\\pipe\\x"},
      {u"\\\\?\\C:\\x", true, u"\\\\?\\C:\\x"},
      {u"\\??\\C:\\x", true, u"\\??\\C:\\x"},
      {u"", true, u""},
  };
  for (const auto& [path, prefer_verbatim, expected] : forms) {
    EXPECT_EQ(AddExtendedLengthPrefix(path, prefer_verbatim), expected) << Narrow(path);
  }
}

// Fill-a-buffer calls truncate with ERROR_INSUFFICIENT_BUFFER (style 0, GetModuleFileNameW),
// truncate silently (1, older systems) or return the size they need (2, GetFullPathNameW). The
// rule offers 512 units first, then twice as many each time, or what the call asked for.
TEST(BufferRuleTest, ReadsTextsOfEveryLengthWholeAndPassesFailuresOn) {
  for (const int style : {0, 1, 2}) {
    for (const std::uint32_t length : {512u, 1024u, 1500u}) {
      std::u16string text(length, u'x');
      text.back() = u'\xD800';
      std::vector<std::uint32_t> sizes;
      const auto call = [&](char16_t* buffer, std::uint32_t size) {
        sizes.push_back(size);
        if (sizes.size() > 8) {  // a buffer that never grows fails here instead of looping forever
          return BufferCall{0, 1};
        }
        std::copy_n(text.begin(), std::min(length, size), buffer);
        if (length < size || style == 2) {
          return BufferCall{length < size ? length : length + 1, 0};
        }
        return BufferCall{size, style == 0 ? kErrorInsufficientBuffer : 0};
      };
      EXPECT_EQ(ReadWithGrowingBuffer(call), text) << style << " / " << length;
      std::vector<std::uint32_t> offered{512};
      while (offered.back() <= length) {
        offered.push_back(style == 2 ? length + 1 : 2 * offered.back());
      }
      EXPECT_EQ(sizes, offered) << style << " / " << length;
    }
  }
  const auto failed =
      ReadWithGrowingBuffer([](char16_t*, std::uint32_t) { return BufferCall{0, 3}; });
  EXPECT_EQ(failed ? 0u : failed.error().code, 3u);
  EXPECT_EQ(ReadWithGrowingBuffer([](char16_t*, std::uint32_t) { return BufferCall{}; }), u"");
}

// A link Windows cannot follow (1920) still exists when the entry itself is there and is no link.
TEST(FileMetadataTest, OnlyAnUnfollowableLinkIsAskedAgainUnfollowed) {
  using Answer = std::expected<FileMetadata, WindowsError>;
  constexpr FileMetadata kFile{0}, kLink{0xA000000C};
  const Answer missing = std::unexpected(WindowsError{2}),
               unfollowable = std::unexpected(WindowsError{kErrorCantAccessFile});
  const struct {
    Answer followed, unfollowed;
    bool exists;
    int queries;
  } cases[] = {
      {kFile, missing, true, 1},         {missing, kFile, false, 1},
      {unfollowable, kFile, true, 2},    {unfollowable, kLink, false, 2},
      {unfollowable, missing, false, 2},
  };
  for (const auto& c : cases) {
    int queries = 0;
    const bool exists = ExistsByQueries([&](LinkMode mode) {
      ++queries;
      return mode == LinkMode::Follow ? c.followed : c.unfollowed;
    });
    EXPECT_EQ(exists, c.exists) << queries;
    EXPECT_EQ(queries, c.queries);
  }
}

// Only a refused open is settled by the directory's listing, and a listed link only unfollowed.
TEST(FileMetadataTest, TheListingStandsInOnlyForARefusedOpen) {
  constexpr FileMetadata kLink{0xA000000C}, kOtherReparse{0x80000017};
  const struct {
    std::uint32_t open_error;
    LinkMode mode;
    std::optional<FileMetadata> listed;
    std::optional<std::uint32_t> reparse_tag;  // nothing: the open's error comes back
  } cases[] = {
      {kErrorAccessDenied, LinkMode::Follow, kOtherReparse, kOtherReparse.reparse_tag},
      {kErrorSharingViolation, LinkMode::NoFollow, kLink, kLink.reparse_tag},
      {kErrorAccessDenied, LinkMode::Follow, kLink, std::nullopt},
      {kErrorSharingViolation, LinkMode::Follow, std::nullopt, std::nullopt},
      {2, LinkMode::NoFollow, kLink, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto recovered = RecoverFromOpenFailure(c.open_error, c.mode, [&] { return c.listed; });
    EXPECT_EQ(recovered ? std::optional(recovered->reparse_tag) : std::nullopt, c.reparse_tag)
        << c.open_error;
    if (!recovered) {
      EXPECT_EQ(recovered.error().code, c.open_error);
    }
  }
}

}  // namespace
}  // namespace ltf
