#pragma once

#include <string_view>

namespace ltf {

// Exact byte search; the empty needle is found in every haystack.
bool ContainsSubstring(std::string_view haystack, std::string_view needle);

}  // namespace ltf
