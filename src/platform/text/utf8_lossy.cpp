#include "platform/text/utf8_lossy.h"

#include "platform/text/utf8_sequence.h"

namespace ltf {

DecodedText DecodeUtf8Lossy(std::span<const unsigned char> bytes) {
  const unsigned char* const begin = bytes.data();
  const unsigned char* const end = begin + bytes.size();

  const unsigned char* p = begin;
  utf8::Sequence sequence{};
  while (p != end) {
    sequence = utf8::ScanSequence(p, end);
    if (!sequence.well_formed) {
      break;
    }
    p += sequence.length;
  }
  if (p == end) {
    return DecodedText(std::string_view(reinterpret_cast<const char*>(begin), bytes.size()));
  }

  const auto append = [](std::string& out, const unsigned char* from, const unsigned char* to) {
    out.append(reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from));
  };
  std::string repaired;
  repaired.reserve(bytes.size());
  // Well-formed stretches are appended whole, at the next ill-formed run or at the end.
  const unsigned char* stretch = begin;
  for (;;) {
    if (!sequence.well_formed) {
      append(repaired, stretch, p);
      repaired.append("\xEF\xBF\xBD");
      stretch = p + sequence.length;
    }
    p += sequence.length;
    if (p == end) {
      break;
    }
    sequence = utf8::ScanSequence(p, end);
  }
  append(repaired, stretch, end);
  return DecodedText(std::move(repaired));
}

}  // namespace ltf
