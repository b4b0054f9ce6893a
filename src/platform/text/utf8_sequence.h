#pragma once

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

}  // namespace ltf::utf8
