#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/text/utf8_lossy.h"
#include "utf8_oracle.h"

namespace ltf::fuzz {
namespace {

std::string AsciiOf(std::string_view text) {
  std::string ascii;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) {
      ascii += c;
    }
  }
  return ascii;
}

DecodedText Decode(std::string_view bytes) {
  return DecodeUtf8Lossy(
      std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

// Any scalar value, ASCII kept cheap: a byte below 0x80 is itself, others take two more bytes.
std::string WellFormedFrom(FuzzInput& input) {
  std::string text;
  while (!input.AtEnd()) {
    const std::uint8_t first = input.Byte();
    char32_t c = first;
    if (first >= 0x80) {
      c = ((first & 0x1Fu) << 16 | input.Byte() << 8 | input.Byte()) % 0x110000;
      if (IsSurrogate(c)) {
        c += 0x800;
      }
    }
    AppendUtf8(text, c);
  }
  return text;
}

}  // namespace
}  // namespace ltf::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf;
  using namespace ltf::fuzz;

  const ExactCopy bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  const DecodedText decoded = Decode(bytes.View());
  const std::string_view text = decoded.View();
  LTF_FUZZ_CHECK(IsValidUtf8(text));
  LTF_FUZZ_CHECK(AsciiOf(text) == AsciiOf(bytes.View()));
  LTF_FUZZ_CHECK(text == LossyReference(bytes.View()));
  LTF_FUZZ_CHECK(decoded.IsBorrowed() == IsValidUtf8(bytes.View()));

  FuzzInput input(data, size);
  const ExactCopy well_formed(WellFormedFrom(input));
  const DecodedText same = Decode(well_formed.View());
  LTF_FUZZ_CHECK(same.IsBorrowed() && same.View().data() == well_formed.View().data());
  LTF_FUZZ_CHECK(same.View() == well_formed.View());
  return 0;
}
