#include "platform/process/command_line_builder.h"

namespace ltf {

std::expected<void, ProcessError> AppendArgument(std::u16string& line,
                                                 std::u16string_view argument) {
  if (argument.find(u'\0') != std::u16string_view::npos) {
    return std::unexpected(ProcessError::InvalidInput("nul byte found in provided data"));
  }
  const bool quoted =
      argument.empty() || argument.find_first_of(u" \t") != std::u16string_view::npos;
  if (quoted) {
    line.push_back(u'"');
  }
  std::size_t backslashes = 0;
  for (char16_t unit : argument) {
    if (unit == u'\\') {
      ++backslashes;
    } else {
      if (unit == u'"') {
        // The backslashes before a quote are doubled, and one more escapes the quote itself.
        line.append(backslashes + 1, u'\\');
      }
      backslashes = 0;
    }
    line.push_back(unit);
  }
  if (quoted) {
    // Trailing backslashes would otherwise escape the closing quote.
    line.append(backslashes, u'\\');
    line.push_back(u'"');
  }
  return {};
}

std::expected<std::u16string, ProcessError> BuildCommandLine(
    std::u16string_view program, std::span<const std::u16string> arguments) {
  std::u16string line;
  line.push_back(u'"');
  line.append(program);
  line.push_back(u'"');
  for (const std::u16string& argument : arguments) {
    line.push_back(u' ');
    if (auto appended = AppendArgument(line, argument); !appended) {
      return std::unexpected(appended.error());
    }
  }
  line.push_back(u'\0');
  return line;
}

}  // namespace ltf
