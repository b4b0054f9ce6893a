#include <gtest/gtest.h>

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/utf8_lossy.h"
#include "platform/text/wide_string.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

using namespace std::literals;

DecodedText Decode(std::string_view text) {
  return DecodeUtf8Lossy(
      std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

TEST(DecodeUtf8LossyTest, ReplacesEachMaximalSubpartAndBorrowsWellFormedInput) {
  const struct {
    std::string_view input;
    std::string_view expected;  // each '?' stands for U+FFFD
  } cases[] = {{"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"sv, "a???b?c??d"},
               {"\xED\xA0\x80"sv, "???"},
               {"\xC0\xAF"sv, "??"},
               {"\xE0\x80"sv, "??"},
               {"euro \xE2\x82"sv, "euro ?"},
               {"face \xF0\x9F\x98"sv, "face ?"},
               {"a\x81z"sv, "a?z"},
               {"a\0\xC2\x80\xF4\x8F\xBF\xBF"sv, "a\0\xC2\x80\xF4\x8F\xBF\xBF"sv}};
  for (const auto& c : cases) {
    std::string expected;
    for (const char ch : c.expected) {
      expected += ch == '?' ? "\xEF\xBF\xBD"sv : std::string_view(&ch, 1);
    }
    const DecodedText decoded = Decode(c.input);
    EXPECT_EQ(decoded.View(), expected);
    // Borrowed exactly when the input is well-formed, and then the very same bytes.
    EXPECT_EQ(decoded.IsBorrowed() && decoded.View().data() == c.input.data(), expected == c.input)
        << expected;
  }
}

TEST(ToWideStringTest, EncodesUtf16WithOneTerminatorAndNeverReadsPastTheInput) {
  const struct {
    std::string_view utf8;
    std::u16string_view units;  // terminator included
  } cases[] = {{""sv, u"\0"sv},
               {"\xF0\x9F\x98\x80"sv, u"\xD83D\xDE00\0"sv},
               {"a\0b\0"sv, u"a\0b\0\0"sv},
               {"ok\xF0\x9F\x98"sv, u"ok\xFFFD\0"sv},
               {"ok\xE2\x82"sv, u"ok\xFFFD\0"sv},
               {"ok\xC3"sv, u"ok\xFFFD\0"sv}};
  testing::GuardedBuffer buffer;
  for (const auto& c : cases) {
    const WideString wide = ToWideString(buffer.PlaceAtEnd(c.utf8));
    EXPECT_EQ(std::u16string_view(wide.Data(), wide.Length()), c.units);
  }
}

// The buffer is sized from a lower estimate of the units to come, terminator included, so texts
// of 3-byte or 4-byte characters fit exactly and shorter encodings take doublings.
TEST(ToWideStringTest, ReservesFromTheEstimateOfUnitsToCome) {
  const struct {
    std::string_view utf8;
    std::size_t capacity;
  } cases[] = {{""sv, 4},
               {"abcdefghij"sv, 20},
               {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"sv, 5},
               {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80"sv, 5}};
  for (const auto& c : cases) {
    EXPECT_EQ(ToWideString(c.utf8).Capacity(), c.capacity) << c.utf8;
  }
}

struct ReferenceCase {
  std::string_view input;
  std::string_view expected;
  std::u16string_view expected_utf16;  // terminator included
};

// Inputs with their lossy decoding by an independent decoder, Python's.
constexpr ReferenceCase kReferenceCases[] = {
#include "utf8_reference_cases.inc"
};

TEST(Utf8ReferenceTest, DecodersAgreeWithAnIndependentDecoder) {
  ASSERT_GT(std::size(kReferenceCases), 1000u);
  testing::GuardedBuffer buffer;
  for (const ReferenceCase& c : kReferenceCases) {
    const std::string_view input = buffer.PlaceAtEnd(c.input);
    const DecodedText decoded = Decode(input);
    const WideString wide = ToWideString(input);
    SCOPED_TRACE("reference case " + std::to_string(&c - kReferenceCases));
    ASSERT_EQ(decoded.View(), c.expected);
    ASSERT_EQ(decoded.IsBorrowed() && decoded.View().data() == input.data(), c.input == c.expected);
    ASSERT_EQ(std::u16string_view(wide.Data(), wide.Length()), c.expected_utf16);
  }
}

}  // namespace
}  // namespace ltf
