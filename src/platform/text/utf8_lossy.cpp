#include "platform/text/text.h"
#include "platform/text/utf8.h"

namespace ltf {

namespace {

// Skips well-formed stretches in bulk. Where the bulk check stops short, the next block or so is
// scanned sequence by sequence before it is tried again, so ill-formed input costs it little.
class BulkSkip {
 public:
  BulkSkip(const unsigned char* begin, const unsigned char* end) : begin_(begin), end_(end) {}

  // `at` starts a sequence; so does the result.
  const unsigned char* From(const unsigned char* at) {
    const auto offset = static_cast<std::size_t>(at - begin_);
    if (offset < retry_at_) {
      return at;
    }
    const std::size_t skipped =
        utf8::WellFormedPrefixLength(at, static_cast<std::size_t>(end_ - at));
    retry_at_ = offset + skipped + kRetryDistance;
    return at + skipped;
  }

 private:
  static constexpr std::size_t kRetryDistance = 16;
  const unsigned char* begin_;
  const unsigned char* end_;
  std::size_t retry_at_{};
};

}  // namespace

DecodedText DecodeUtf8Lossy(std::span<const unsigned char> bytes) {
  const unsigned char* const begin = bytes.data();
  const unsigned char* const end = begin + bytes.size();
  BulkSkip skip(begin, end);

  const unsigned char* p = begin;
  utf8::Sequence sequence{};
  while (p != end && (p = skip.From(p)) != end) {
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
    p = skip.From(p);
    if (p == end) {
      break;
    }
    sequence = utf8::ScanSequence(p, end);
  }
  append(repaired, stretch, end);
  return DecodedText(std::move(repaired));
}

}  // namespace ltf
