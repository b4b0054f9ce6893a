#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/cmdline/split_command_line.h"
#include "platform/process/command_line_builder.h"
#include "utf8_oracle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf;
  using namespace ltf::fuzz;

  FuzzInput input(data, size);
  const std::uint8_t style = input.Byte();
  const std::vector<std::u16string> lists = input.RestUnitLists(u'\0');
  // Quotes in a program name only group and nothing escapes them; Windows file names hold none.
  std::u16string program = lists.front();
  std::erase(program, u'"');
  std::vector<std::u16string> arguments(lists.begin() + 1, lists.end());

  const std::expected<std::u16string, ProcessError> line = BuildCommandLine(program, arguments);
  LTF_FUZZ_CHECK(line.has_value());
  LTF_FUZZ_CHECK(line->find(u'\0') == line->size() - 1);
  std::vector<std::string> expected{Utf8FromUnits(program)};
  for (const std::u16string& argument : arguments) {
    expected.push_back(Utf8FromUnits(argument));
  }
  LTF_FUZZ_CHECK(SplitCommandLine(*line) == expected);

  // A 0 unit anywhere in any argument is refused rather than cutting the line short.
  if (!arguments.empty()) {
    std::u16string& target = arguments[style % arguments.size()];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(style % (target.size() + 1)), u'\0');
    const std::expected<std::u16string, ProcessError> refused =
        BuildCommandLine(program, arguments);
    LTF_FUZZ_CHECK(!refused.has_value());
    LTF_FUZZ_CHECK(refused.error().kind == ProcessErrorKind::InvalidInput);
    LTF_FUZZ_CHECK(refused.error().message == "nul byte found in provided data");
  }
  return 0;
}
