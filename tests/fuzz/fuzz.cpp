// One libFuzzer target for every parser and converter: the first byte picks the check, the rest
// is its input. The scalar decoder (ScanSequence), which the native tests tie to Python's, is
// the reference for the vectorised paths. Texts under test sit in exact-size heap copies, so
// ASan reports a read one byte past them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/cmdline/cmdline.h"
#include "platform/paths/path_layout.h"
#include "platform/paths/paths.h"
#include "platform/process/program_lookup.h"
#include "platform/text/text.h"
#include "platform/text/utf8.h"

namespace ltf::fuzz {
namespace {

#define LTF_CHECK(condition) ((condition) ? void() : Fail(#condition, __LINE__))

[[noreturn]] void Fail(const char* what, int line) {
  std::fprintf(stderr, "fuzz.cpp:%d: property does not hold: %s\n", line, what);
  std::abort();  // libFuzzer saves the input that got here
}

// Reads fuzzer bytes front to back; past the end it gives zeros.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return next_ == size_ ? 0 : data_[next_++]; }
  std::vector<char> Bytes(std::size_t count = SIZE_MAX) {
    count = std::min(count, size_ - next_);
    next_ += count;
    return std::vector<char>(data_ + next_ - count, data_ + next_);
  }
  // An ASCII byte is its own unit, so quotes, blanks and backslashes stay one mutation away;
  // any other byte takes the next two as a little-endian unit of any value.
  std::u16string Units(std::size_t count = SIZE_MAX) {
    std::u16string units;
    while (units.size() < count && next_ != size_) {
      const std::uint8_t first = Byte();
      units += first < 0x80 ? char16_t{first} : static_cast<char16_t>(Byte() | Byte() << 8);
    }
    return units;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t next_ = 0;
};

std::string_view View(const std::vector<char>& bytes) {
  return {bytes.data(), bytes.size()};
}

// One U+FFFD per maximal ill-formed subpart, sequence by sequence.
std::string ScalarLossy(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const end = p + text.size();
  std::string out;
  for (utf8::Sequence s{}; p != end; p += s.length) {
    s = utf8::ScanSequence(p, end);
    out += s.well_formed ? std::string_view(reinterpret_cast<const char*>(p), s.length) : "\uFFFD";
  }
  return out;
}

// Any line splits into a program name and arguments, all valid UTF-8. What BuildCommandLine
// quotes, SplitCommandLine gives back; a 0 unit is refused instead.
void CheckCommandLines(Input input) {
  const std::uint8_t style = input.Byte();
  const std::u16string units = input.Units();
  const std::vector<std::string> split = SplitCommandLine(units);
  LTF_CHECK(!split.empty());
  for (const std::string& argument : split) {
    LTF_CHECK(ScalarLossy(argument) == argument);
  }
  std::vector<std::u16string> parts(1);
  for (const char16_t unit : units) {
    unit == 0 ? parts.emplace_back() : parts.back().append(1, unit);
  }
  // Quotes in a program name only group and nothing escapes them; Windows file names hold none.
  std::erase(parts.front(), u'"');
  std::vector<std::u16string> arguments(parts.begin() + 1, parts.end());
  const auto line = BuildCommandLine(parts.front(), arguments);
  LTF_CHECK(line && line->find(u'\0') == line->size() - 1);
  std::vector<std::string> expected;
  expected.reserve(parts.size());
  for (const std::u16string& part : parts) {
    expected.push_back(ToUtf8(part));
  }
  LTF_CHECK(SplitCommandLine(*line) == expected);
  if (!arguments.empty()) {
    std::u16string& target = arguments[style % arguments.size()];
    target.insert(style % (target.size() + 1), 1, u'\0');
    const auto refused = BuildCommandLine(parts.front(), arguments);
    LTF_CHECK(!refused && refused.error().message == "nul byte found in provided data");
  }
}

void CheckText(Input input) {
  const std::vector<char> bytes = input.Bytes();
  const std::string expected = ScalarLossy(View(bytes));
  const DecodedText decoded =
      DecodeUtf8Lossy({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
  LTF_CHECK(decoded.View() == expected && decoded.IsBorrowed() == (expected == View(bytes)));
  const WideString wide = ToWideString(View(bytes));
  LTF_CHECK(ToUtf8(wide.Units()) == expected && wide.Data()[wide.Length() - 1] == 0);
}

// The haystack against a needle, then against a piece cut out of the haystack with its last and
// then its first byte changed.
void CheckContains(Input input) {
  const std::size_t needle_length = input.Byte(), cut_at = input.Byte();
  const std::vector<char> needle = input.Bytes(needle_length), haystack = input.Bytes();
  const std::string_view h = View(haystack);
  const auto check = [&](const std::vector<char>& n) {
    LTF_CHECK(ContainsSubstring(h, View(n)) == (h.find(View(n)) != h.npos));
  };
  check(needle);
  if (!h.empty()) {
    const std::string_view piece = h.substr(cut_at % h.size(), needle_length + 1);
    std::vector<char> cut(piece.begin(), piece.end());
    check(cut);
    cut.back() ^= 1;
    check(cut);
    cut.front() ^= 2;
    check(cut);
  }
}

// A parent is a shorter start of its path that keeps the prefix and root and drops the
// separators before the last component.
std::optional<Path> CheckParent(std::u16string_view path) {
  std::optional<Path> parent = ParentPath(path);
  const PathLayout layout = ReadLayout(path);
  LTF_CHECK(!parent ||
            (parent->size() < path.size() && path.starts_with(*parent) &&
             parent->size() >= layout.BodyStart() &&
             (parent->size() == layout.BodyStart() || !layout.IsSeparator(parent->back()))));
  return parent;
}

// A join keeps the base's prefix and neither loses nor makes up a root: C: joined with x must
// stay the drive-relative C:x.
void CheckPaths(Input input) {
  const std::u16string base = input.Units(input.Byte()), part = input.Units();
  // The base is short enough to walk all the way up.
  for (std::optional<Path> up = CheckParent(base); up; up = CheckParent(*up)) {
  }
  const Path joined = JoinPath(base, part);
  CheckParent(joined);
  const PathLayout base_layout = ReadLayout(base), part_layout = ReadLayout(part);
  if (part_layout.prefix.kind != PrefixKind::None) {
    LTF_CHECK(joined == part);
    return;
  }
  LTF_CHECK(joined.starts_with(base.substr(0, base_layout.prefix.length)));
  LTF_CHECK(ReadLayout(joined).HasRoot() == (base_layout.HasRoot() || part_layout.HasRoot()));
  // Outside \\?\ the part is appended as it is; under it "/" means nothing, so none is added.
  LTF_CHECK(base_layout.prefix.IsVerbatim()
                ? std::ranges::count(joined, u'/') <= std::ranges::count(base, u'/')
                : joined.ends_with(part));
}

}  // namespace
}  // namespace ltf::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf::fuzz;
  Input input(data, size);
  constexpr void (*kChecks[])(Input) = {CheckCommandLines, CheckText, CheckContains, CheckPaths};
  kChecks[input.Byte() % std::size(kChecks)](input);
  return 0;
}
