#pragma once

#include <cstddef>

namespace ltf::utf8 {

// The length of a well-formed stretch at the start of `bytes`, which begins a sequence. It ends
// on a sequence boundary and may stop short of the longest such stretch (by fewer than 19 bytes
// with SSE2, at once without), so the caller scans on from there. Reads nothing past `size`.
std::size_t WellFormedPrefixLength(const unsigned char* bytes, std::size_t size);

}  // namespace ltf::utf8
