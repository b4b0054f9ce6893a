#include "platform/text/utf8.h"

namespace ltf::utf8 {

Sequence ScanSequence(const unsigned char* first, const unsigned char* end) {
  const unsigned char lead = *first;
  if (lead < 0x80) {
    return {1, lead, true};
  }
  std::size_t length{};
  char32_t code_point{};
  // Allowed range of the second byte; later bytes always take 80..BF.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  // 80..BF only continue a sequence, C0 and C1 would start overlong ones, F5..FF go past U+10FFFF.
  if (lead < 0xC2 || lead > 0xF4) {
    return {1, kReplacementCharacter, false};
  }
  if (lead < 0xE0) {
    length = 2;
    code_point = lead & 0x1F;
  } else if (lead < 0xF0) {
    length = 3;
    code_point = lead & 0x0F;
    if (lead == 0xE0) {
      low = 0xA0;  // overlong below U+0800
    } else if (lead == 0xED) {
      high = 0x9F;  // surrogates
    }
  } else {
    length = 4;
    code_point = lead & 0x07;
    if (lead == 0xF0) {
      low = 0x90;  // overlong below U+10000
    } else if (lead == 0xF4) {
      high = 0x8F;  // beyond U+10FFFF
    }
  }

  const auto available = static_cast<std::size_t>(end - first);
  for (std::size_t i = 1; i < length; ++i) {
    if (i == available || first[i] < low || first[i] > high) {
      return {i, kReplacementCharacter, false};
    }
    code_point = (code_point << 6) | (first[i] & 0x3F);
    low = 0x80;
    high = 0xBF;
  }
  return {length, code_point, true};
}

}  // namespace ltf::utf8
