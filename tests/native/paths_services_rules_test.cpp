#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/paths/buffer_rule.h"
#include "platform/paths/extended_length.h"
#include "platform/paths/file_metadata.h"

namespace ltf {
namespace {

std::string Narrow(std::u16string_view units) {
  return std::string(units.begin(), units.end());
}

TEST(ExtendedLengthTest, SendsOnlyRelativeLongOrDriveRelativePathsToGetFullPathName) {
  const std::u16string long_rooted = u"C:\\" + std::u16string(kExtendedLengthThreshold - 3, u'a');
  const struct {
    std::u16string path;
    bool needs_full_path;
  } cases[] = {
      {u"", false},
      {u"\\\\?\\x", false},
      {u"\\??\\C:\\x", false},
      {u"C:\\x", false},
      {u"C:/x", false},
      {u"C:", false},
      {u"\\\\srv\\sh", false},
      {u"//srv", false},
      {u"\\\\?\\" + long_rooted, false},
      {long_rooted.substr(0, long_rooted.size() - 1), false},
      {long_rooted, true},
      {u"\\\\" + long_rooted, true},
      {u"C:x", true},
      {u"\\:\\x", true},
      {u"x", true},
      {u"..\\x", true},
      {u"\\x", true},
      {u"/x", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.path));
    EXPECT_EQ(NeedsFullPath(c.path), c.needs_full_path);
  }
}

TEST(ExtendedLengthTest, PrefixesWhenPreferredOrLong) {
  const std::u16string long_path = u"C:\\" + std::u16string(kExtendedLengthThreshold - 3, u'a');
  const struct {
    std::u16string absolute;
    bool prefer;
    std::u16string result;
  } cases[] = {
      {u"C:\\x", true, u"\\\\?\\C:\\x"},
      {u"C:\\x", false, u"C:\\x"},
      {long_path, false, u"\\\\?\\" + long_path},
      {long_path.substr(0, long_path.size() - 1), false, long_path.substr(0, long_path.size() - 1)},
      {u"\\\\.\\pipe\\x", true, u"\\\\?\\pipe\\x"},
      {u"\\\\?\\C:\\x", true, u"\\\\?\\C:\\x"},
      {u"\\??\\C:\\x", true, u"\\??\\C:\\x"},
      {u"\\\\srv\\sh\\x", true, u"\\\\?\\UNC\\srv\\sh\\x"},
      {u"\\\\srv\\sh\\x", false, u"\\\\srv\\sh\\x"},
      {u"x\\y", true, u"x\\y"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.absolute));
    EXPECT_EQ(AddExtendedLengthPrefix(c.absolute, c.prefer), c.result);
  }
}

// Fakes of the two kinds of fill-a-buffer calls, answering for a text of a given length.
enum class CallStyle {
  TruncateWithError,     // GetModuleFileNameW: returns the size, sets ERROR_INSUFFICIENT_BUFFER
  TruncateSilently,      // the same on older systems, without the error
  ReportRequiredLength,  // GetFullPathNameW: returns the size it needs, terminator included
};

struct FakeTextCall {
  std::u16string text;
  CallStyle style;
  std::vector<std::uint32_t> sizes_asked;

  BufferCall operator()(char16_t* buffer, std::uint32_t size) {
    sizes_asked.push_back(size);
    const auto length = static_cast<std::uint32_t>(text.size());
    if (length < size) {
      std::copy(text.begin(), text.end(), buffer);
      buffer[length] = u'\0';
      return {length, 0};
    }
    if (style == CallStyle::ReportRequiredLength) {
      return {length + 1, 0};
    }
    std::copy_n(text.begin(), size, buffer);
    return {size, style == CallStyle::TruncateWithError ? kErrorInsufficientBuffer : 0u};
  }
};

TEST(BufferRuleTest, ReadsTextsOfEveryLengthWhole) {
  for (const CallStyle style : {CallStyle::TruncateWithError, CallStyle::TruncateSilently,
                                CallStyle::ReportRequiredLength}) {
    for (const std::size_t length : {1, 5, 511, 512, 513, 1023, 1024, 1500, 40000}) {
      std::u16string text(length, u'x');
      text.back() = u'\xD800';
      FakeTextCall call{text, style, {}};
      SCOPED_TRACE(std::to_string(static_cast<int>(style)) + " / " + std::to_string(length));
      EXPECT_EQ(ReadWithGrowingBuffer(call), text);
    }
  }
}

TEST(BufferRuleTest, DoublesOnTruncationAndTakesTheAskedSizeOtherwise) {
  FakeTextCall module_name{std::u16string(1500, u'x'), CallStyle::TruncateWithError, {}};
  ASSERT_TRUE(ReadWithGrowingBuffer(module_name));
  EXPECT_EQ(module_name.sizes_asked, (std::vector<std::uint32_t>{512, 1024, 2048}));

  FakeTextCall full_path{std::u16string(1500, u'x'), CallStyle::ReportRequiredLength, {}};
  ASSERT_TRUE(ReadWithGrowingBuffer(full_path));
  EXPECT_EQ(full_path.sizes_asked, (std::vector<std::uint32_t>{512, 1501}));
}

TEST(BufferRuleTest, ZeroIsAFailureOnlyWithAnError) {
  const auto failing = [](char16_t*, std::uint32_t) { return BufferCall{0, 3}; };
  const auto result = ReadWithGrowingBuffer(failing);
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error().code, 3u);

  const auto empty = [](char16_t*, std::uint32_t) { return BufferCall{0, 0}; };
  EXPECT_EQ(ReadWithGrowingBuffer(empty), u"");
}

constexpr FileMetadata kFile{0x20, 0};
constexpr FileMetadata kLink{0x400, 0xA000000C};
constexpr FileMetadata kNonSurrogateReparse{0x400, 0x80000017};

TEST(FileMetadataTest, ListingStandsInOnlyForSharingAndAccessFailures) {
  const struct {
    std::uint32_t open_error;
    LinkMode mode;
    std::optional<FileMetadata> listed;
    bool recovered;
    bool searched;
  } cases[] = {
      {kErrorAccessDenied, LinkMode::Follow, kFile, true, true},
      {kErrorSharingViolation, LinkMode::Follow, kFile, true, true},
      {kErrorSharingViolation, LinkMode::Follow, kNonSurrogateReparse, true, true},
      {kErrorAccessDenied, LinkMode::Follow, kLink, false, true},
      {kErrorAccessDenied, LinkMode::NoFollow, kLink, true, true},
      {kErrorSharingViolation, LinkMode::NoFollow, std::nullopt, false, true},
      {2, LinkMode::Follow, kFile, false, false},
      {kErrorCantAccessFile, LinkMode::NoFollow, kFile, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.open_error));
    bool searched = false;
    const auto result = RecoverFromOpenFailure(c.open_error, c.mode, [&] {
      searched = true;
      return c.listed;
    });
    EXPECT_EQ(searched, c.searched);
    ASSERT_EQ(result.has_value(), c.recovered);
    if (result) {
      EXPECT_EQ(result->reparse_tag, c.listed->reparse_tag);
    } else {
      EXPECT_EQ(result.error().code, c.open_error);
    }
  }
}

TEST(FileMetadataTest, RetriesWithoutFollowingOnlyAfterCantAccessFile) {
  using Result = std::expected<FileMetadata, WindowsError>;
  const Result missing = std::unexpected(WindowsError{2});
  const struct {
    Result followed;
    Result unfollowed;
    bool exists;
    std::size_t queries;
  } cases[] = {
      {kFile, missing, true, 1},
      {missing, kFile, false, 1},
      {std::unexpected(WindowsError{kErrorAccessDenied}), kFile, false, 1},
      {std::unexpected(WindowsError{kErrorCantAccessFile}), kFile, true, 2},
      {std::unexpected(WindowsError{kErrorCantAccessFile}), kLink, false, 2},
      {std::unexpected(WindowsError{kErrorCantAccessFile}), missing, false, 2},
  };
  for (const auto& c : cases) {
    std::vector<LinkMode> modes;
    const bool exists = ExistsByQueries([&](LinkMode mode) {
      modes.push_back(mode);
      return mode == LinkMode::Follow ? c.followed : c.unfollowed;
    });
    EXPECT_EQ(exists, c.exists);
    ASSERT_EQ(modes.size(), c.queries);
    EXPECT_EQ(modes.front(), LinkMode::Follow);
  }
}

}  // namespace
}  // namespace ltf
