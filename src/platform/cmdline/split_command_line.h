#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ltf {

// Splits a process command line into its arguments, program name first, each as UTF-8. The
// line ends at its first 0 unit or at the end of the view. Never empty: an empty line gives
// one empty program name.
std::vector<std::string> SplitCommandLine(std::u16string_view line);

// UTF-16 to UTF-8, with U+FFFD for each surrogate that is not half of a high-then-low pair.
std::string ToUtf8(std::u16string_view units);

}  // namespace ltf
