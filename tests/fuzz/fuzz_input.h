#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ltf::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
  std::abort();  // libFuzzer saves the input that got here
}

#define LTF_FUZZ_CHECK(condition) \
  ((condition) ? void() : ::ltf::fuzz::Fail(#condition, __FILE__, __LINE__))

// Reads fuzzer bytes front to back; reading past the end gives zeros.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool AtEnd() const { return next_ == size_; }

  std::uint8_t Byte() { return AtEnd() ? 0 : data_[next_++]; }

  // An ASCII byte is its own unit, so quotes, blanks and backslashes stay one mutation away;
  // any other byte takes the next two as a little-endian unit of any value.
  char16_t Unit() {
    const std::uint8_t first = Byte();
    if (first < 0x80) {
      return first;
    }
    const std::uint8_t low = Byte();
    return static_cast<char16_t>(low | (Byte() << 8));
  }

  std::u16string Units(std::size_t count) {
    std::u16string units;
    while (units.size() < count && !AtEnd()) {
      units += Unit();
    }
    return units;
  }

  std::u16string RestUnits() { return Units(SIZE_MAX); }

  std::string Bytes(std::size_t count) {
    count = std::min(count, size_ - next_);
    std::string bytes(reinterpret_cast<const char*>(data_ + next_), count);
    next_ += count;
    return bytes;
  }

  std::string RestBytes() { return Bytes(SIZE_MAX); }

  // The remaining units cut at every `separator`; empty pieces are kept.
  std::vector<std::u16string> RestUnitLists(char16_t separator) {
    std::vector<std::u16string> lists(1);
    for (const char16_t unit : RestUnits()) {
      if (unit == separator) {
        lists.emplace_back();
      } else {
        lists.back() += unit;
      }
    }
    return lists;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

// A heap copy of exactly `bytes.size()` bytes, so that ASan flags a read one byte past it.
class ExactCopy {
 public:
  explicit ExactCopy(std::string_view bytes)
      : storage_(new char[bytes.size()]), size_(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), storage_.get());
  }
  std::string_view View() const { return {storage_.get(), size_}; }

 private:
  std::unique_ptr<char[]> storage_;
  std::size_t size_;
};

}  // namespace ltf::fuzz
