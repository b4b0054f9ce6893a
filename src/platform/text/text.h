#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ltf {

#ifdef _WIN32
// MinGW's wchar_t is a 16-bit UTF-16 unit, the same representation as char16_t, so our units
// go to wide Windows calls as they are.
inline const wchar_t* AsWide(const char16_t* units) {
  return reinterpret_cast<const wchar_t*>(units);
}
inline wchar_t* AsWide(char16_t* units) {
  return reinterpret_cast<wchar_t*>(units);
}
#endif

// An owned, NUL-terminated UTF-16 buffer: the form in which our own texts reach wide Windows
// calls. Length() counts the terminator, so "Running" has length 8 and "" has length 1.
class WideString {
 public:
  const char16_t* Data() const { return units_.data(); }
  std::size_t Length() const { return units_.size(); }
  // The units without the terminator.
  std::u16string_view Units() const { return {units_.data(), units_.size() - 1}; }
#ifdef _WIN32
  const wchar_t* Wide() const { return AsWide(units_.data()); }
#endif

 private:
  friend WideString ToWideString(std::string_view utf8);
  WideString() = default;
  std::vector<char16_t> units_;
};

// UTF-8 to UTF-16 with one terminator added. Ill-formed input (our callers never pass any)
// becomes U+FFFD per maximal subpart and is never read past its end.
WideString ToWideString(std::string_view utf8);

// UTF-16 to UTF-8, with U+FFFD for each surrogate that is not half of a high-then-low pair.
std::string ToUtf8(std::u16string_view units);

// Valid UTF-8 text that either borrows the decoded input (it was already well-formed) or owns
// a repaired copy. A borrowed result lives no longer than the input bytes.
class DecodedText {
 public:
  explicit DecodedText(std::string_view borrowed) : borrowed_(borrowed) {}
  explicit DecodedText(std::string owned) : owned_(std::move(owned)) {}

  std::string_view View() const { return owned_ ? std::string_view(*owned_) : borrowed_; }
  bool IsBorrowed() const { return !owned_.has_value(); }

 private:
  std::string_view borrowed_;
  std::optional<std::string> owned_;
};

// Replaces each maximal ill-formed subpart with one U+FFFD (the Unicode Standard, chapter 3,
// "U+FFFD Substitution of Maximal Subparts"); copies nothing when the bytes are already
// well-formed UTF-8.
DecodedText DecodeUtf8Lossy(std::span<const unsigned char> bytes);

// Exact byte search; the empty needle is found in every haystack.
bool ContainsSubstring(std::string_view haystack, std::string_view needle);

}  // namespace ltf
