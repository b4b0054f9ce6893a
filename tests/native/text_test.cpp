#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "guarded_buffer.h"
#include "platform/text/text.h"
#include "platform/text/utf8.h"

namespace ltf {
namespace {

using namespace std::literals;

std::span<const unsigned char> Bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// Haystacks start or end at an inaccessible page, and needles end at one, so a byte read outside
// either faults. Needles have NUL middles; when `alike`, every start in the background passes a
// first/last-byte filter.
TEST(ContainsSubstringTest, AgreesWithFindAtEveryOffsetWithoutOverReading) {
  testing::GuardedBuffer haystack_buffer, needle_buffer;
  for (const std::size_t n : {0, 1, 2, 3, 16, 17}) {
    for (const bool alike : {false, true}) {
      std::string needle = n == 0 ? "" : 'F' + std::string(n - 1, '\0');
      if (n > 1) {
        needle.back() = alike ? 'F' : 'L';
      }
      // The needle, and near misses that keep its first and last bytes but change the second or
      // the last but one.
      std::string planted[] = {needle, needle, needle};
      if (n > 2) {
        planted[1][1] = planted[2][n - 2] = 'x';
      }
      const std::string_view guarded_needle = needle_buffer.PlaceAtEnd(needle);
      for (std::size_t size = 0; size <= 300; ++size) {
        const std::string background(size, alike ? 'F' : 'f');
        std::vector<std::string> haystacks = {background};
        for (std::size_t offset = 0; offset + n <= size; ++offset) {
          for (const std::string& text : planted) {
            haystacks.emplace_back(background).replace(offset, n, text);
          }
        }
        for (std::size_t i = 0; i < haystacks.size(); ++i) {
          const bool expected = haystacks[i].find(needle) != std::string::npos;
          ASSERT_EQ(ContainsSubstring(haystack_buffer.PlaceAtEnd(haystacks[i]), guarded_needle),
                    expected)
              << "size " << size << ", needle " << n << (alike ? " alike" : "") << ", case " << i;
          ASSERT_EQ(ContainsSubstring(haystack_buffer.PlaceAtStart(haystacks[i]), guarded_needle),
                    expected)
              << "at the start: size " << size << ", needle " << n << ", case " << i;
        }
      }
    }
  }
}

// Each code point in the fewest bytes; a surrogate is half of a pair only as a high one followed
// by a low one, and any other becomes U+FFFD on its own.
TEST(ToUtf8Test, EncodesEachLengthAndPairsOnlyHighThenLow) {
  const std::pair<std::u16string_view, std::string_view> cases[] = {
      {u"\x7F\x80", "\x7F\xC2\x80"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\xD800\xDC00", "\xF0\x90\x80\x80"},
      {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
      {u"\xDC00\xDC00", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\xDFFF\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\xD800-\xDBFF", "\xEF\xBF\xBD-\xEF\xBF\xBD"},
      {u"\xD7FF\xE000", "\xED\x9F\xBF\xEE\x80\x80"},
      {u"\xDBFF\xE000", "\xEF\xBF\xBD\xEE\x80\x80"},
  };
  for (const auto& [units, utf8] : cases) {
    EXPECT_EQ(ToUtf8(units), utf8) << utf8;
  }
}

// Well-formed text cut at a block's end, whatever the lead of the cut sequence: the check ends
// on a sequence boundary, at most 19 bytes short of the end.
TEST(WellFormedPrefixLengthTest, EndsOnABoundaryNearTheEndOfWellFormedText) {
  const std::string_view cut[] = {"", "\xC2\x80", "\xE0\xA0\x80", "\xF0\x9F\x98\x80",
                                  "\xF4\x8F\xBF\xBF"};
  for (std::size_t before = 12; before <= 32; ++before) {
    for (const std::string_view tail : cut) {
      const std::string text = std::string(before, 'a') + "\xC3\xA9" + std::string(tail) + "a";
      const std::size_t skipped = utf8::WellFormedPrefixLength(Bytes(text).data(), text.size());
      EXPECT_LE(skipped, text.size()) << before << " " << tail;
      EXPECT_TRUE(skipped == text.size() ||
                  (static_cast<unsigned char>(text[skipped]) & 0xC0) != 0x80)
          << before << " " << tail;
#ifdef __SSE2__
      EXPECT_LT(text.size() - skipped, 20u) << before << " " << tail;
#endif
    }
  }
}

struct ReferenceCase {
  std::string_view input;
  std::string_view expected;           // lossy UTF-8
  std::u16string_view expected_utf16;  // terminator included
  std::size_t well_formed_start;       // bytes before the first ill-formed subpart
};

// Inputs with their decoding by an independent decoder, Python's.
constexpr ReferenceCase kReferenceCases[] = {
#include "utf8_reference_cases.inc"
};

// Both decoders on the reference inputs placed against a guard page. The bulk check never passes
// an ill-formed byte, ends on a character boundary and, with SSE2, gives up less than a block and
// a character before the first ill-formed byte.
void CheckDecoding(testing::GuardedBuffer& buffer, const ReferenceCase& c) {
  const std::string_view input = buffer.PlaceAtEnd(c.input);
  const DecodedText decoded = DecodeUtf8Lossy(Bytes(input));
  ASSERT_EQ(decoded.View(), c.expected);
  // Borrowed exactly when the input is well-formed, and then the very same bytes.
  ASSERT_EQ(decoded.IsBorrowed() && decoded.View().data() == input.data(), c.input == c.expected);
  const WideString wide = ToWideString(input);
  ASSERT_EQ(std::u16string_view(wide.Data(), wide.Length()), c.expected_utf16);
  const std::size_t skipped = utf8::WellFormedPrefixLength(Bytes(input).data(), input.size());
  ASSERT_LE(skipped, c.well_formed_start);
  ASSERT_TRUE(skipped == c.well_formed_start ||
              (static_cast<unsigned char>(input[skipped]) & 0xC0) != 0x80);
#ifdef __SSE2__
  ASSERT_LT(c.well_formed_start - skipped, 20u);
#endif
}

// The reference inputs, then long ones, where well-formed stretches are skipped in bulk: reference
// inputs joined by ASCII runs, which no sequence runs across, so they decode piece by piece at
// every block alignment.
TEST(Utf8ReferenceTest, DecodersAgreeWithAnIndependentDecoder) {
  ASSERT_GT(std::size(kReferenceCases), 1000u);
  testing::GuardedBuffer buffer;
  for (const ReferenceCase& c : kReferenceCases) {
    SCOPED_TRACE("reference case " + std::to_string(&c - kReferenceCases));
    CheckDecoding(buffer, c);
  }
  std::mt19937 rng(0x5EED);
  for (int round = 0; round < 3000; ++round) {
    std::string input, expected;
    std::u16string utf16;
    std::size_t well_formed_start = std::string::npos;
    for (auto pieces = 1 + rng() % 24; pieces > 0; --pieces) {
      const ReferenceCase& c = kReferenceCases[rng() % std::size(kReferenceCases)];
      if (well_formed_start == std::string::npos && c.well_formed_start < c.input.size()) {
        well_formed_start = input.size() + c.well_formed_start;
      }
      input += c.input;
      expected += c.expected;
      utf16 += c.expected_utf16.substr(0, c.expected_utf16.size() - 1);
      if (pieces > 1) {
        const std::string ascii(1 + rng() % 80, 'a');
        input += ascii;
        expected += ascii;
        utf16 += std::u16string(ascii.begin(), ascii.end());
      }
    }
    utf16 += u'\0';
    SCOPED_TRACE("round " + std::to_string(round));
    CheckDecoding(buffer, {input, expected, utf16, std::min(well_formed_start, input.size())});
  }
}

}  // namespace
}  // namespace ltf
