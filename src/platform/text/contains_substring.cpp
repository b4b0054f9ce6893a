#include "platform/text/contains_substring.h"

#include <cstddef>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>

#include <bit>
#include <cstdint>
#endif

namespace ltf {

namespace {

bool ContainsByWindows(std::string_view haystack, std::string_view needle) {
  const char* const h = haystack.data();
  const std::size_t n = needle.size();
  for (std::size_t i = 0; i + n <= haystack.size(); ++i) {
    if (h[i] == needle[0] && std::memcmp(h + i, needle.data(), n) == 0) {
      return true;
    }
  }
  return false;
}

#ifdef __SSE2__

constexpr std::size_t kBlock = 16;

// Bit k is set when start `start + k` matches the needle's first and last bytes.
unsigned CandidateMask(const char* h, std::size_t start, std::size_t last_offset, __m128i first,
                       __m128i last) {
  const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + start));
  const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + start + last_offset));
  const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(heads, first), _mm_cmpeq_epi8(tails, last));
  return static_cast<unsigned>(_mm_movemask_epi8(both));
}

// The first and last bytes already match at each candidate; only the middle is left to compare.
bool AnyCandidateMatches(const char* h, std::size_t base, std::uint64_t mask, const char* middle,
                         std::size_t middle_size) {
  while (mask != 0) {
    const std::size_t start = base + static_cast<std::size_t>(std::countr_zero(mask));
    if (std::memcmp(h + start + 1, middle, middle_size) == 0) {
      return true;
    }
    mask &= mask - 1;
  }
  return false;
}

// Needs at least kBlock candidate starts, so every block below stays inside the haystack.
bool ContainsByVectorFilter(std::string_view haystack, std::string_view needle) {
  const char* const h = haystack.data();
  const std::size_t n = needle.size();
  const std::size_t last_offset = n - 1;
  const std::size_t last_start = haystack.size() - n;
  const char* const middle = needle.data() + 1;
  const std::size_t middle_size = n < 2 ? 0 : n - 2;
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());

  std::size_t i = 0;
  for (; i + 4 * kBlock - 1 <= last_start; i += 4 * kBlock) {
    std::uint64_t mask = 0;
    for (std::size_t block = 0; block < 4; ++block) {
      const unsigned block_mask = CandidateMask(h, i + block * kBlock, last_offset, first, last);
      mask |= static_cast<std::uint64_t>(block_mask) << (block * kBlock);
    }
    if (AnyCandidateMatches(h, i, mask, middle, middle_size)) {
      return true;
    }
  }
  for (; i + kBlock - 1 <= last_start; i += kBlock) {
    if (AnyCandidateMatches(h, i, CandidateMask(h, i, last_offset, first, last), middle,
                            middle_size)) {
      return true;
    }
  }
  if (i <= last_start) {
    // One block ending on the last start; its starts before `i` were checked already.
    const std::size_t base = last_start - (kBlock - 1);
    const unsigned mask = CandidateMask(h, base, last_offset, first, last) >> (i - base);
    return AnyCandidateMatches(h, i, mask, middle, middle_size);
  }
  return false;
}

#endif  // __SSE2__

}  // namespace

bool ContainsSubstring(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) {
    return true;
  }
  if (haystack.size() < needle.size()) {
    return false;
  }
#ifdef __SSE2__
  if (haystack.size() - needle.size() + 1 >= kBlock) {
    return ContainsByVectorFilter(haystack, needle);
  }
#endif
  return ContainsByWindows(haystack, needle);
}

}  // namespace ltf
