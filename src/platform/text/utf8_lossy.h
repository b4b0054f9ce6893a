#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ltf {

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

// Replaces each maximal ill-formed subpart with one U+FFFD; copies nothing when the bytes are
// already well-formed UTF-8.
DecodedText DecodeUtf8Lossy(std::span<const unsigned char> bytes);

}  // namespace ltf
