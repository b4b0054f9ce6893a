#pragma once

#include <string>
#include <vector>

namespace ltf {

// The process's own argument list, UTF-8, program name first; never empty.
std::vector<std::string> ParseCommandLine();

}  // namespace ltf
