#include <algorithm>

#include "platform/text/text.h"
#include "platform/text/utf8.h"

namespace ltf {

namespace {

// A lower bound on the units that `bytes` more of UTF-8 yield: no sequence gives fewer than
// one unit per three bytes.
std::size_t UnitsAtLeast(std::size_t bytes) {
  return (bytes + 2) / 3;
}

// `still_to_come` is a lower bound on the units that will follow `unit`, terminator included.
void PushUnit(std::vector<char16_t>& units, char16_t unit, std::size_t still_to_come) {
  if (units.size() == units.capacity()) {
    // The very first unit also lands here, so the initial reservation follows the same rule.
    units.reserve(
        std::max({std::size_t{4}, 2 * units.capacity(), units.size() + 1 + still_to_come}));
  }
  units.push_back(unit);
}

void AppendCodePoint(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace

WideString ToWideString(std::string_view utf8) {
  WideString result;
  std::vector<char16_t>& units = result.units_;
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* const end = p + utf8.size();
  while (p != end) {
    const utf8::Sequence sequence = utf8::ScanSequence(p, end);
    p += sequence.length;
    const std::size_t after_character = UnitsAtLeast(static_cast<std::size_t>(end - p)) + 1;
    const char32_t code_point = sequence.code_point;
    if (code_point < 0x10000) {
      PushUnit(units, static_cast<char16_t>(code_point), after_character);
    } else {
      const char32_t offset = code_point - 0x10000;
      PushUnit(units, static_cast<char16_t>(0xD800 | (offset >> 10)), after_character + 1);
      PushUnit(units, static_cast<char16_t>(0xDC00 | (offset & 0x3FF)), after_character);
    }
  }
  PushUnit(units, 0, 0);
  return result;
}

std::string ToUtf8(std::u16string_view units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t code_point = units[i];
    if (code_point >= 0xD800 && code_point <= 0xDFFF) {
      const bool paired = code_point <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                          units[i + 1] <= 0xDFFF;
      if (paired) {
        code_point = 0x10000 + ((code_point - 0xD800) << 10) + (units[i + 1] - 0xDC00);
        ++i;
      } else {
        code_point = utf8::kReplacementCharacter;
      }
    }
    AppendCodePoint(out, code_point);
  }
  return out;
}

}  // namespace ltf
