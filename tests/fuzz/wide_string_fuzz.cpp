#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_input.h"
#include "platform/text/wide_string.h"
#include "utf8_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf;
  using namespace ltf::fuzz;

  // The exact-size copy is what makes a read past the input's end an ASan report.
  const ExactCopy bytes(std::string_view(reinterpret_cast<const char*>(data), size));
  const WideString wide = ToWideString(bytes.View());
  LTF_FUZZ_CHECK(wide.Length() == wide.Units().size() + 1);
  LTF_FUZZ_CHECK(wide.Data()[wide.Length() - 1] == 0);
  LTF_FUZZ_CHECK(IsValidUtf16(wide.Units()));
  LTF_FUZZ_CHECK(Utf8FromUnits(wide.Units()) == LossyReference(bytes.View()));
  // Sized from a lower estimate and grown by doubling, the buffer never needs twice its length.
  LTF_FUZZ_CHECK(wide.Capacity() <= std::max<std::size_t>(4, 2 * wide.Length()));
  return 0;
}
