#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/text/wide_string.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

using namespace std::literals;

struct WideCase {
  std::string_view utf8;
  std::u16string_view units;
};

void ExpectUnits(const WideString& wide, std::u16string_view units, std::string_view label) {
  EXPECT_EQ(wide.Units(), units) << label;
  ASSERT_EQ(wide.Length(), units.size() + 1) << label;
  EXPECT_EQ(wide.Data()[units.size()], u'\0') << label;
}

TEST(ToWideStringTest, EncodesUtf16AndAddsOneTerminator) {
  const WideCase cases[] = {
      {""sv, u""sv},
      {"Stopped"sv, u"Stopped"sv},
      {"\xF0\x9F\x98\x80"sv, u"\xD83D\xDE00"sv},
      {"a\xC3\xA9\xE2\x82\xAC\xF4\x8F\xBF\xBFz"sv, u"a\x00E9\x20AC\xDBFF\xDFFFz"sv},
      {"ends in NUL\0"sv, u"ends in NUL\0"sv},
      {"a\0b"sv, u"a\0b"sv},
  };
  for (const WideCase& c : cases) {
    ExpectUnits(ToWideString(c.utf8), c.units, c.utf8);
  }
}

TEST(ToWideStringTest, ReplacesIllFormedInputWithoutReadingPastIt) {
  const WideCase cases[] = {
      {"ok\xF0\x9F\x98"sv, u"ok\xFFFD"sv},
      {"ok\xE2\x82"sv, u"ok\xFFFD"sv},
      {"ok\xC3"sv, u"ok\xFFFD"sv},
      {"\xED\xA0\x80"sv, u"\xFFFD\xFFFD\xFFFD"sv},
      {"a\xC0\xAFz"sv, u"a\xFFFD\xFFFDz"sv},
      {"\xF4\x90\x80\x80"sv, u"\xFFFD\xFFFD\xFFFD\xFFFD"sv},
      {"\xE1\x80\xC2!"sv, u"\xFFFD\xFFFD!"sv},
      {"\x80\xFF"sv, u"\xFFFD\xFFFD"sv},
  };
  testing::GuardedBuffer buffer(16);
  for (const WideCase& c : cases) {
    ExpectUnits(ToWideString(buffer.PlaceAtEnd(c.utf8)), c.units, c.utf8);
  }
}

// The buffer is sized from a lower estimate of the units to come, so texts of 3-byte and
// 4-byte characters fit exactly and shorter encodings take one or two doublings.
TEST(ToWideStringTest, ReservesFromTheEstimateOfUnitsToCome) {
  const struct {
    std::string_view utf8;
    std::size_t capacity;
  } cases[] = {
      {""sv, 4},
      {"abc"sv, 4},
      {"Stopped"sv, 8},
      {"abcdefghij"sv, 20},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"sv, 8},
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"sv, 5},
      {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80"sv, 5},
      {"\xF0\x9F\x98\x80"sv, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToWideString(c.utf8).Capacity(), c.capacity) << c.utf8;
  }
}

}  // namespace
}  // namespace ltf
