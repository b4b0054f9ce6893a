#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "platform/cmdline/split_command_line.h"
#include "utf8_oracle.h"

namespace ltf::fuzz {
namespace {

bool IsBlankOrQuote(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'"';
}

// Words without blanks or quotes (backslashes are literal when no quote follows them), joined
// by blank runs, split back into exactly those words; only the program name may be empty.
void CheckPlainWordsSplitBack(std::uint8_t style, std::vector<std::u16string> words) {
  static constexpr std::u16string_view kBlankRuns[] = {u" ", u"\t", u" \t ", u"\t\t"};
  std::u16string line;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::erase_if(words[i], IsBlankOrQuote);
    if (i > 0 && words[i].empty()) {
      continue;
    }
    if (i > 0) {
      line += kBlankRuns[(style + i) % 4];
    }
    line += words[i];
    expected.push_back(Utf8FromUnits(words[i]));
  }
  if (style & 0x80) {
    line += kBlankRuns[style % 4];
  }
  LTF_FUZZ_CHECK(SplitCommandLine(line) == expected);
}

}  // namespace
}  // namespace ltf::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf;
  using namespace ltf::fuzz;

  const std::u16string line = FuzzInput(data, size).RestUnits();
  const std::vector<std::string> arguments = SplitCommandLine(line);
  LTF_FUZZ_CHECK(!arguments.empty());
  for (const std::string& argument : arguments) {
    LTF_FUZZ_CHECK(IsValidUtf8(argument));
  }
  LTF_FUZZ_CHECK(ToUtf8(line) == Utf8FromUnits(line));

  FuzzInput words(data, size);
  const std::uint8_t style = words.Byte();
  CheckPlainWordsSplitBack(style, words.RestUnitLists(u'\0'));
  return 0;
}
