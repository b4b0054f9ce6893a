#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ltf {

// The process's own argument list, UTF-8, program name first; never empty.
std::vector<std::string> ParseCommandLine();

// Splits a process command line into its arguments, program name first, each as UTF-8, by the
// C runtime's argv rules (which CommandLineToArgvW follows too). The line ends at its first 0
// unit or at the end of the view. Never empty: an empty line gives one empty program name.
std::vector<std::string> SplitCommandLine(std::u16string_view line);

}  // namespace ltf
