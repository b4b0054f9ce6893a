#include <gtest/gtest.h>

#include <span>
#include <string_view>

#include "platform/text/utf8_lossy.h"
#include "platform/text/wide_string.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

using namespace std::literals;

struct ReferenceCase {
  std::string_view input;
  std::string_view expected;
  std::u16string_view expected_utf16;
};

// Inputs with the lossy decoding of an independent decoder, Python's.
constexpr ReferenceCase kReferenceCases[] = {
#include "utf8_reference_cases.inc"
};

TEST(Utf8ReferenceTest, DecodersAgreeWithAnIndependentDecoder) {
  ASSERT_GT(std::size(kReferenceCases), 1000u);
  // Each input ends on an inaccessible page, so an over-read faults.
  testing::GuardedBuffer buffer(64 * 1024);
  int failures = 0;
  for (const ReferenceCase& c : kReferenceCases) {
    const std::string_view input = buffer.PlaceAtEnd(c.input);
    const DecodedText decoded = DecodeUtf8Lossy(
        std::span(reinterpret_cast<const unsigned char*>(input.data()), input.size()));
    const WideString wide = ToWideString(input);
    const bool well_formed = c.input == c.expected;
    if (decoded.View() != c.expected || decoded.IsBorrowed() != well_formed ||
        wide.Units() != c.expected_utf16 || wide.Data()[wide.Length() - 1] != 0) {
      ADD_FAILURE() << "case " << (&c - kReferenceCases) << ", input of " << c.input.size()
                    << " bytes";
      if (++failures == 10) {
        return;
      }
    }
  }
}

}  // namespace
}  // namespace ltf
