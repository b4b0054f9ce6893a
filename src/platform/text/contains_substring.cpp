#include "platform/text/text.h"

#include <cstddef>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>

#include <bit>
#include <cstdint>
#endif

namespace ltf {

namespace {

// Every start position in turn: the reference the vector filter must agree with, and the path
// for haystacks too short for one block.
bool ContainsByScalarScan(std::string_view haystack, std::string_view needle) {
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
constexpr std::size_t kGroup = 4 * kBlock;

// What the vector filter compares: the needle's first and last bytes, and its second byte to
// thin out the candidates when first and last bytes are frequent.
struct Filter {
  std::size_t last_offset;
  bool check_second;
  __m128i first, second, last;
};

Filter MakeFilter(std::string_view needle) {
  const std::size_t n = needle.size();
  return {n - 1, n > 2, _mm_set1_epi8(needle.front()), _mm_set1_epi8(needle[n > 1 ? 1 : 0]),
          _mm_set1_epi8(needle.back())};
}

// Byte k is all ones when start `start + k` matches the needle's first and last bytes.
__m128i FirstAndLast(const char* h, std::size_t start, const Filter& f) {
  const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + start));
  const __m128i tails =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + start + f.last_offset));
  return _mm_and_si128(_mm_cmpeq_epi8(heads, f.first), _mm_cmpeq_epi8(tails, f.last));
}

// Also the second byte, for needles of three bytes or more: its 16 bytes end before the last
// byte's, so they stay inside the haystack.
__m128i WithSecond(const char* h, std::size_t start, __m128i candidates, const Filter& f) {
  const __m128i seconds = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + start + 1));
  return _mm_and_si128(candidates, _mm_cmpeq_epi8(seconds, f.second));
}

unsigned Mask(__m128i candidates) {
  return static_cast<unsigned>(_mm_movemask_epi8(candidates));
}

unsigned BlockMask(const char* h, std::size_t start, const Filter& f) {
  const __m128i candidates = FirstAndLast(h, start, f);
  return Mask(f.check_second ? WithSecond(h, start, candidates, f) : candidates);
}

// The first group at or after `i` with a candidate, or the first `i` with fewer than kGroup
// starts left. Kept free of calls so the compared bytes stay in registers.
[[gnu::noinline]] std::size_t NextCandidateGroup(const char* h, std::size_t i,
                                                 std::size_t last_start, const Filter& f) {
  for (; i + kGroup - 1 <= last_start; i += kGroup) {
    __m128i c0 = FirstAndLast(h, i, f);
    __m128i c1 = FirstAndLast(h, i + kBlock, f);
    __m128i c2 = FirstAndLast(h, i + 2 * kBlock, f);
    __m128i c3 = FirstAndLast(h, i + 3 * kBlock, f);
    if (Mask(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) == 0) {
      continue;
    }
    if (!f.check_second) {
      return i;
    }
    c0 = WithSecond(h, i, c0, f);
    c1 = WithSecond(h, i + kBlock, c1, f);
    c2 = WithSecond(h, i + 2 * kBlock, c2, f);
    c3 = WithSecond(h, i + 3 * kBlock, c3, f);
    if (Mask(_mm_or_si128(_mm_or_si128(c0, c1), _mm_or_si128(c2, c3))) != 0) {
      return i;
    }
  }
  return i;
}

// The filtered bytes already match at each candidate, which for a needle of one or two bytes is
// all of it; only the bytes between the second and the last are left to compare.
bool AnyCandidateMatches(const char* h, std::size_t base, std::uint64_t mask,
                         std::string_view needle, const Filter& f) {
  if (!f.check_second) {
    return mask != 0;
  }
  while (mask != 0) {
    const std::size_t start = base + static_cast<std::size_t>(std::countr_zero(mask));
    if (std::memcmp(h + start + 2, needle.data() + 2, needle.size() - 3) == 0) {
      return true;
    }
    mask &= mask - 1;
  }
  return false;
}

// Needs at least kBlock candidate starts, so every block below stays inside the haystack.
bool ContainsByVectorFilter(std::string_view haystack, std::string_view needle) {
  const char* const h = haystack.data();
  const std::size_t last_start = haystack.size() - needle.size();
  const Filter f = MakeFilter(needle);

  std::size_t i = 0;
  while ((i = NextCandidateGroup(h, i, last_start, f)) + kGroup - 1 <= last_start) {
    std::uint64_t mask = 0;
    for (std::size_t b = 0; b < 4; ++b) {
      mask |= static_cast<std::uint64_t>(BlockMask(h, i + b * kBlock, f)) << (b * kBlock);
    }
    if (AnyCandidateMatches(h, i, mask, needle, f)) {
      return true;
    }
    i += kGroup;
  }
  for (; i + kBlock - 1 <= last_start; i += kBlock) {
    if (AnyCandidateMatches(h, i, BlockMask(h, i, f), needle, f)) {
      return true;
    }
  }
  if (i <= last_start) {
    // One block ending on the last start; its starts before `i` were checked already.
    const std::size_t base = last_start - (kBlock - 1);
    return AnyCandidateMatches(h, i, BlockMask(h, base, f) >> (i - base), needle, f);
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
  return ContainsByScalarScan(haystack, needle);
}

}  // namespace ltf
