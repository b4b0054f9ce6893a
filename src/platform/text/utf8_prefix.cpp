#include "platform/text/utf8.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace ltf::utf8 {

#ifdef __SSE2__

namespace {

constexpr std::size_t kBlock = 16;

__m128i Load(const unsigned char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

__m128i Splat(unsigned char byte) {
  return _mm_set1_epi8(static_cast<char>(byte));
}

// Bytes at or above `floor`, unsigned.
__m128i AtLeast(__m128i bytes, unsigned char floor) {
  return _mm_cmpeq_epi8(_mm_max_epu8(bytes, Splat(floor)), bytes);
}

// Nonzero where the 16 bytes `current`, preceded by `before1..3` (the same bytes one, two and
// three places earlier), break the table of well-formed sequences.
[[gnu::always_inline]] inline __m128i BlockErrors(__m128i current, __m128i before1, __m128i before2,
                                                  __m128i before3) {
  // Every byte that a lead one to three places back asks for must be a continuation 80..BF,
  // and no other byte may be one.
  const __m128i claimed = _mm_or_si128(
      AtLeast(before1, 0xC0), _mm_or_si128(AtLeast(before2, 0xE0), AtLeast(before3, 0xF0)));
  const __m128i continuation = _mm_cmplt_epi8(current, Splat(0xC0));  // signed: 80..BF only
  __m128i errors = _mm_xor_si128(claimed, continuation);
  // Bytes that never occur: C0, C1 and F5..FF.
  errors = _mm_or_si128(errors, _mm_cmpeq_epi8(_mm_and_si128(current, Splat(0xFE)), Splat(0xC0)));
  errors = _mm_or_si128(errors, AtLeast(current, 0xF5));
  // The narrower second bytes; signed compares are exact here because the byte is a
  // continuation whenever the lead before it is one of these.
  const auto after = [&](unsigned char lead, __m128i bad) {
    errors = _mm_or_si128(errors, _mm_and_si128(_mm_cmpeq_epi8(before1, Splat(lead)), bad));
  };
  after(0xE0, _mm_cmplt_epi8(current, Splat(0xA0)));  // overlong
  after(0xED, _mm_cmpgt_epi8(current, Splat(0x9F)));  // surrogates
  after(0xF0, _mm_cmplt_epi8(current, Splat(0x90)));  // overlong
  after(0xF4, _mm_cmpgt_epi8(current, Splat(0x8F)));  // beyond U+10FFFF
  return errors;
}

bool IsAscii(__m128i bytes) {
  return _mm_movemask_epi8(bytes) == 0;
}

bool IsAsciiGroup(const unsigned char* at) {
  return IsAscii(_mm_or_si128(_mm_or_si128(Load(at), Load(at + kBlock)),
                              _mm_or_si128(Load(at + 2 * kBlock), Load(at + 3 * kBlock))));
}

// The start of the last sequence before `end` unless that is ASCII: the checked bytes end in
// whole sequences but for one that `end` may cut, and the caller scans on from a boundary.
std::size_t BackToBoundary(const unsigned char* bytes, std::size_t end) {
  std::size_t start = end;
  while (start > 0 && (bytes[start - 1] & 0xC0) == 0x80) {
    --start;  // a continuation byte, whose lead is at most three bytes back
  }
  return start > 0 && bytes[start - 1] >= 0xC0 ? start - 1 : end;
}

}  // namespace

std::size_t WellFormedPrefixLength(const unsigned char* bytes, std::size_t size) {
  std::size_t i = 0;
  // Runs of ASCII need no context; they go four blocks at a time.
  const auto skip_ascii = [&] {
    while (i + 4 * kBlock <= size && IsAsciiGroup(bytes + i)) {
      i += 4 * kBlock;
    }
    while (i + kBlock <= size && IsAscii(Load(bytes + i))) {
      i += kBlock;
    }
  };
  if (size >= kBlock) {
    // The first block has no bytes before it: it starts a sequence, as if after ASCII.
    const __m128i current = Load(bytes);
    const __m128i errors = BlockErrors(current, _mm_slli_si128(current, 1),
                                       _mm_slli_si128(current, 2), _mm_slli_si128(current, 3));
    if (_mm_movemask_epi8(errors) != 0) {
      return 0;
    }
    i = kBlock;
  }
  while (i + kBlock <= size) {
    const __m128i current = Load(bytes + i);
    if (_mm_movemask_epi8(BlockErrors(current, Load(bytes + i - 1), Load(bytes + i - 2),
                                      Load(bytes + i - 3))) != 0) {
      break;
    }
    i += kBlock;
    // No sequence runs on past an ASCII block, so what follows needs no context either.
    if (IsAscii(current)) {
      skip_ascii();
    }
  }
  return BackToBoundary(bytes, i);
}

#else

std::size_t WellFormedPrefixLength(const unsigned char*, std::size_t) {
  return 0;
}

#endif  // __SSE2__

}  // namespace ltf::utf8
