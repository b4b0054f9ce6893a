#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/paths/path_layout.h"
#include "platform/paths/path_model.h"

namespace ltf::fuzz {
namespace {

bool IsAsciiLetter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

bool StartsWithDrive(std::u16string_view path) {
  return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':';
}

std::size_t DotComponents(std::u16string_view path, const PathLayout& layout) {
  std::size_t dots = 0;
  for (const ComponentSpan span : Components(path, layout)) {
    const std::u16string_view text = path.substr(span.begin, span.end - span.begin);
    dots += text == u"." || text == u"..";
  }
  return dots;
}

// Returns the parent, so that a caller can walk up.
std::optional<Path> CheckParent(std::u16string_view path) {
  std::optional<Path> parent = ParentPath(path);
  if (!parent) {
    return parent;
  }
  const PathLayout layout = ReadLayout(path);
  const std::u16string_view prefix_and_root = path.substr(0, layout.BodyStart());
  LTF_FUZZ_CHECK(parent->size() < path.size() && path.starts_with(*parent));
  LTF_FUZZ_CHECK(parent->starts_with(prefix_and_root));
  // The same, without trusting the layout reading for the plainest forms.
  LTF_FUZZ_CHECK(!StartsWithDrive(path) || parent->starts_with(path.substr(0, 2)));
  LTF_FUZZ_CHECK(!IsAnySeparator(path.front()) || parent->starts_with(path.front()));
  // Separators before the last component go with it; only the root's own one stays.
  LTF_FUZZ_CHECK(parent->size() == prefix_and_root.size() || !layout.IsSeparator(parent->back()));
  return parent;
}

void CheckJoin(std::u16string_view base, std::u16string_view part) {
  const Path joined = JoinPath(base, part);
  const PathLayout part_layout = ReadLayout(part);
  if (part_layout.prefix.kind != PrefixKind::None) {
    LTF_FUZZ_CHECK(joined == part);
    return;
  }
  const PathLayout base_layout = ReadLayout(base);
  const PathLayout joined_layout = ReadLayout(joined);
  LTF_FUZZ_CHECK(joined.starts_with(base.substr(0, base_layout.prefix.length)));
  // Neither lost nor made up: C: joined with x must stay the drive-relative C:x.
  LTF_FUZZ_CHECK(joined_layout.HasRoot() == (base_layout.HasRoot() || part_layout.HasRoot()));
  if (!base_layout.prefix.IsVerbatim() || part.empty()) {
    LTF_FUZZ_CHECK(joined.ends_with(part));
    LTF_FUZZ_CHECK(part_layout.separator_root || joined.starts_with(base));
  } else {
    // Windows resolves neither "/" nor "." nor ".." under \\?\, so none may come from part.
    LTF_FUZZ_CHECK(std::ranges::count(joined, u'/') <= std::ranges::count(base, u'/'));
    LTF_FUZZ_CHECK(DotComponents(joined, joined_layout) <= DotComponents(base, base_layout));
  }
  CheckParent(joined);
}

// A plain name (no separator, no drive, not "." or "..") is the end of every join with it,
// behind a separator unless the base is empty or a bare drive.
void CheckJoinPlainName(std::u16string_view base, std::u16string name) {
  std::erase_if(name, IsAnySeparator);
  if (name.empty() || name == u"." || name == u".." || StartsWithDrive(name)) {
    return;
  }
  const Path joined = JoinPath(base, name);
  LTF_FUZZ_CHECK(joined.ends_with(name));
  const std::size_t before = joined.size() - name.size();
  const bool bare_drive = base.size() == 2 && StartsWithDrive(base);
  LTF_FUZZ_CHECK(before > 0 || base.empty());
  LTF_FUZZ_CHECK(before == 0 || IsAnySeparator(joined[before - 1]) ||
                 (bare_drive && joined == Path(base) + name));
}

}  // namespace
}  // namespace ltf::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ltf::fuzz;

  FuzzInput input(data, size);
  const std::u16string base = input.Units(input.Byte());
  const std::u16string part = input.RestUnits();
  // Every step up is strictly shorter, so walking up ends; the base is short enough to walk.
  for (std::optional<ltf::Path> up = CheckParent(base); up; up = CheckParent(*up)) {
  }
  CheckParent(part);
  CheckJoin(base, part);
  CheckJoinPlainName(base, part);
  return 0;
}
