#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/text/contains_substring.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

// Haystack and needle end at an inaccessible page, so a byte read past either faults. Needles
// have NUL middles; when `alike`, every start in the background passes a first/last-byte filter.
TEST(ContainsSubstringTest, AgreesWithFindAtEveryOffsetWithoutOverReading) {
  testing::GuardedBuffer haystack_buffer;
  testing::GuardedBuffer needle_buffer;
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
          ASSERT_EQ(ContainsSubstring(haystack_buffer.PlaceAtEnd(haystacks[i]), guarded_needle),
                    haystacks[i].find(needle) != std::string::npos)
              << "size " << size << ", needle " << n << (alike ? " alike" : "") << ", case " << i;
        }
      }
    }
  }
}

}  // namespace
}  // namespace ltf
