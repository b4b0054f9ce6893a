#pragma once

#include <optional>
#include <string>
#include <string_view>

#ifdef _WIN32
#include "platform/wide_units_win.h"
#endif

namespace ltf {

// A path as a wide Windows call takes it: no 0 unit inside, one 0 unit at the end.
class TerminatedPath {
 public:
  // Nothing when the units hold a 0, which Windows would take for the end of the path.
  static std::optional<TerminatedPath> From(std::u16string_view units) {
    if (units.find(u'\0') != std::u16string_view::npos) {
      return std::nullopt;
    }
    return TerminatedPath(std::u16string(units));
  }

  // The units before the terminator.
  std::u16string_view Units() const { return units_; }
  // The units and the terminator.
  const char16_t* Data() const { return units_.c_str(); }
#ifdef _WIN32
  const wchar_t* Wide() const {
    return AsWide(units_.c_str());
  }
#endif

 private:
  explicit TerminatedPath(std::u16string units) : units_(std::move(units)) {}
  std::u16string units_;
};

}  // namespace ltf
