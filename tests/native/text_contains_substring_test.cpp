#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/text/contains_substring.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

using namespace std::literals;

TEST(ContainsSubstringTest, ComparesExactBytes) {
  const struct {
    std::string_view haystack;
    std::string_view needle;
    bool found;
  } cases[] = {
      {""sv, ""sv, true},
      {"abc"sv, ""sv, true},
      {""sv, "a"sv, false},
      {"lanternfield.exe"sv, "lanternfield.exe"sv, true},
      {"lanternfield.ex"sv, "lanternfield.exe"sv, false},
      {"LANTERNFIELD.EXE        1234 Console    1   9,000 K"sv, "lanternfield.exe"sv, false},
      {"Lanternfield.exe        1234 Console    1   9,000 K"sv, "lanternfield.exe"sv, false},
      {"xlanternfield.exe2      1234 Console    1   9,000 K"sv, "lanternfield.exe"sv, true},
      {"lanternfield\r\n.exe    1234 Console    1   9,000 K"sv, "lanternfield.exe"sv, false},
      {"a\0b"sv, "\0"sv, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainsSubstring(c.haystack, c.needle), c.found)
        << '"' << c.haystack << "\" / \"" << c.needle << '"';
  }
}

// Needle shapes with distinct first, middle and last bytes, and with the first equal to the
// last so that every position of a uniform haystack passes the first/last-byte filter.
std::string MakeNeedle(std::size_t size, bool ends_alike) {
  std::string needle(size, 'm');
  if (size > 0) {
    needle.front() = 'F';
    needle.back() = ends_alike ? 'F' : 'L';
  }
  return needle;
}

// Runs every search with the haystack ending at, then starting at, an inaccessible page, and
// the needle ending at one: a single byte read outside either text faults.
TEST(ContainsSubstringTest, AgreesWithFindAtEveryOffsetWithoutOverReading) {
  constexpr std::size_t kMaxHaystack = 300;
  testing::GuardedBuffer haystack_buffer(kMaxHaystack);
  testing::GuardedBuffer needle_buffer(32);
  for (const std::size_t needle_size : {0, 1, 2, 3, 16, 17}) {
    for (const bool ends_alike : {false, true}) {
      const std::string needle_text = MakeNeedle(needle_size, ends_alike);
      const std::string_view needle = needle_buffer.PlaceAtEnd(needle_text);
      // Copies that keep the first and last bytes but differ right after the first or right
      // before the last.
      std::string early_miss = needle_text;
      std::string late_miss = needle_text;
      if (needle_size >= 3) {
        early_miss[1] = 'x';
        late_miss[needle_size - 2] = 'x';
      }
      const char background = ends_alike ? 'F' : 'f';
      for (std::size_t size = 0; size <= kMaxHaystack; ++size) {
        std::string text(size, background);
        const auto agrees = [&](const std::string& haystack_text, std::size_t offset) {
          const bool expected = std::string_view(haystack_text).find(needle) != std::string::npos;
          for (const bool at_end : {true, false}) {
            const std::string_view haystack = at_end ? haystack_buffer.PlaceAtEnd(haystack_text)
                                                     : haystack_buffer.PlaceAtStart(haystack_text);
            if (ContainsSubstring(haystack, needle) != expected) {
              ADD_FAILURE() << "expected " << expected << " for haystack " << size << ", needle "
                            << needle_size << ", offset " << offset
                            << (at_end ? ", at end" : ", at start")
                            << (ends_alike ? ", ends alike" : "");
              return false;
            }
          }
          return true;
        };
        if (!agrees(text, std::string::npos)) {
          return;
        }
        for (std::size_t offset = 0; offset + needle_size <= size; ++offset) {
          for (const std::string_view planted :
               {std::string_view(needle_text), std::string_view(early_miss),
                std::string_view(late_miss)}) {
            std::string haystack_text = text;
            haystack_text.replace(offset, planted.size(), planted);
            if (!agrees(haystack_text, offset)) {
              return;
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace ltf
