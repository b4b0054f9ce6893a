#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/text/contains_substring.h"

namespace ltf::fuzz {
namespace {

// Both texts in exact-size heap copies, so a vector load past either end is an ASan report.
void CheckAgainstFind(std::string_view haystack, std::string_view needle) {
  const ExactCopy h(haystack);
  const ExactCopy n(needle);
  LTF_FUZZ_CHECK(ContainsSubstring(h.View(), n.View()) ==
                 (haystack.find(needle) != std::string_view::npos));
}

}  // namespace
}  // namespace ltf::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf::fuzz;

  FuzzInput input(data, size);
  const std::size_t needle_length = input.Byte();
  const std::size_t cut_at = input.Byte();
  const std::string needle = input.Bytes(needle_length);
  const std::string haystack = input.RestBytes();
  CheckAgainstFind(haystack, needle);

  // A needle cut out of the haystack is always found; with its first or last byte changed,
  // only the candidate filter's verdict is tested.
  if (!haystack.empty()) {
    std::string cut = haystack.substr(cut_at % haystack.size(), needle_length + 1);
    LTF_FUZZ_CHECK(ltf::ContainsSubstring(ExactCopy(haystack).View(), ExactCopy(cut).View()));
    cut.back() ^= 1;
    CheckAgainstFind(haystack, cut);
    cut.front() ^= 2;
    CheckAgainstFind(haystack, cut);
  }
  return 0;
}
