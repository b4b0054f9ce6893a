#pragma once

// The two UTF-8 kernels the conversions share: one sequence at a time, and the bulk check of a
// well-formed stretch.
#include <cstddef>

namespace ltf::utf8 {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

struct Sequence {
  // Bytes covered: the whole sequence when well-formed, otherwise its maximal ill-formed
  // subpart, which is never empty.
  std::size_t length;
  // The decoded scalar value, or U+FFFD for an ill-formed subpart.
  char32_t code_point;
  bool well_formed;
};

// Scans the one sequence starting at `first`, which must be before `end`. Reads no byte at or
// beyond `end`.
Sequence ScanSequence(const unsigned char* first, const unsigned char* end);

// The length of a well-formed stretch at the start of `bytes`, which begins a sequence. It ends
// on a sequence boundary and may stop short of the longest such stretch (with SSE2 by fewer than
// 20 bytes: part of the block it could not pass, and the last sequence before it; without, at
// once), so the caller scans on from there. Reads nothing past `size`.
std::size_t WellFormedPrefixLength(const unsigned char* bytes, std::size_t size);

}  // namespace ltf::utf8
