#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

// Plain scalar UTF-8 and UTF-16 reasoning, written from the encoding's arithmetic rather than
// from the byte-range table the code under test uses, to compare that code against.
namespace ltf::fuzz {

inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  static constexpr unsigned char kLeadMark[] = {0, 0, 0xC0, 0xE0, 0xF0};
  out += static_cast<char>(kLeadMark[length] | (c >> (6 * (length - 1))));
  for (int shift = 6 * (length - 2); shift >= 0; shift -= 6) {
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
  }
}

// 1 to 4 from the lead byte's high bits, 0 for a byte that leads no sequence.
inline int SequenceLength(unsigned char lead) {
  return lead < 0x80   ? 1
         : lead < 0xC0 ? 0
         : lead < 0xE0 ? 2
         : lead < 0xF0 ? 3
         : lead < 0xF8 ? 4
                       : 0;
}

inline constexpr char32_t kFirstOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
inline constexpr char32_t kLastOfLength[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
inline constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};

inline bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Whether the `count` bytes at `p` begin some well-formed sequence. The code points that the
// possible completions give form one interval; it must meet a scalar that needs this length.
inline bool BeginsWellFormed(const unsigned char* p, std::size_t count) {
  const int length = SequenceLength(p[0]);
  if (length == 0 || count > static_cast<std::size_t>(length)) {
    return false;
  }
  char32_t bits = p[0] & kLeadBits[length];
  for (std::size_t i = 1; i < count; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      return false;
    }
    bits = (bits << 6) | (p[i] & 0x3F);
  }
  const int missing_bits = 6 * (length - static_cast<int>(count));
  const char32_t low = std::max<char32_t>(bits << missing_bits, kFirstOfLength[length]);
  const char32_t high = std::min<char32_t>(((bits + 1) << missing_bits) - 1, kLastOfLength[length]);
  return low <= high && !(IsSurrogate(low) && IsSurrogate(high));
}

// Each maximal ill-formed subpart (the longest start of a well-formed sequence that the input
// holds there, at least one byte) becomes one U+FFFD.
inline std::string LossyReference(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t count = 0;
    while (i + count < text.size() && BeginsWellFormed(p + i, count + 1)) {
      ++count;
    }
    if (count > 0 && count == static_cast<std::size_t>(SequenceLength(p[i]))) {
      out.append(text.substr(i, count));
    } else {
      out += kReplacement;
    }
    i += std::max<std::size_t>(count, 1);
  }
  return out;
}

// Valid exactly when lossy decoding finds nothing to replace.
inline bool IsValidUtf8(std::string_view text) {
  return LossyReference(text) == text;
}

inline bool IsHigh(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLow(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

inline bool IsValidUtf16(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
      ++i;
    } else if (IsSurrogate(units[i])) {
      return false;
    }
  }
  return true;
}

// UTF-16 to UTF-8 with U+FFFD for each surrogate that is not half of a high-then-low pair.
inline std::string Utf8FromUnits(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t c = units[i];
    if (IsHigh(units[i]) && i + 1 < units.size() && IsLow(units[i + 1])) {
      c = 0x10000 + ((c & 0x3FF) << 10) + (units[++i] & 0x3FF);
    } else if (IsSurrogate(c)) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace ltf::fuzz
