#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include "platform/wide_units_win.h"
#endif

namespace ltf {

// An owned, NUL-terminated UTF-16 buffer: the form in which our own texts reach wide Windows
// calls. Length() counts the terminator, so "Running" has length 8 and "" has length 1.
class WideString {
 public:
  const char16_t* Data() const { return units_.data(); }
  std::size_t Length() const { return units_.size(); }
  std::size_t Capacity() const { return units_.capacity(); }
  // The units without the terminator.
  std::u16string_view Units() const { return {units_.data(), units_.size() - 1}; }
#ifdef _WIN32
  const wchar_t* Wide() const {
    return AsWide(units_.data());
  }
#endif

 private:
  friend WideString ToWideString(std::string_view utf8);
  WideString() = default;
  std::vector<char16_t> units_;
};

// UTF-8 to UTF-16 with one terminator added. Ill-formed input (our callers never pass any)
// becomes U+FFFD per maximal subpart and is never read past its end.
WideString ToWideString(std::string_view utf8);

}  // namespace ltf
