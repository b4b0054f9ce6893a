#include <vector>

#include "platform/paths/path_layout.h"
#include "platform/paths/paths.h"

namespace ltf {

namespace {

std::u16string_view Text(std::u16string_view path, ComponentSpan span) {
  return path.substr(span.begin, span.end - span.begin);
}

bool IsName(std::u16string_view component) {
  return component != u"." && component != u"..";
}

// "/" means nothing under \\?\, so the joined part is re-read and written with "\" only, its
// "." and ".." resolved here because Windows will not resolve them.
Path JoinVerbatim(std::u16string_view base, const PathLayout& base_layout, std::u16string_view part,
                  const PathLayout& part_layout) {
  bool root = base_layout.separator_root;
  std::vector<std::u16string_view> pieces;
  for (const ComponentSpan span : Components(base, base_layout)) {
    pieces.push_back(Text(base, span));
  }
  if (part_layout.separator_root) {
    pieces.clear();
    root = true;
  }
  for (const ComponentSpan span : Components(part, part_layout)) {
    const std::u16string_view piece = Text(part, span);
    if (piece == u"..") {
      if (!pieces.empty() && IsName(pieces.back())) {
        pieces.pop_back();
      }
    } else if (piece != u".") {
      pieces.push_back(piece);
    }
  }

  const std::u16string_view prefix = base.substr(0, base_layout.prefix.length);
  Path joined(prefix);
  bool need_separator = !prefix.ends_with(u'\\');
  if (root) {
    joined += u'\\';
    need_separator = false;
  }
  for (const std::u16string_view piece : pieces) {
    if (need_separator) {
      joined += u'\\';
    }
    joined += piece;
    need_separator = true;
  }
  return joined;
}

}  // namespace

std::optional<Path> ParentPath(std::u16string_view path) {
  const PathLayout layout = ReadLayout(path);
  const std::vector<ComponentSpan> components = Components(path, layout);
  if (components.empty()) {
    return std::nullopt;
  }
  const std::size_t end =
      components.size() >= 2 ? components[components.size() - 2].end : layout.BodyStart();
  return Path(path.substr(0, end));
}

Path JoinPath(std::u16string_view base, std::u16string_view part) {
  const PathLayout part_layout = ReadLayout(part);
  if (part_layout.prefix.kind != PrefixKind::None) {
    return Path(part);
  }
  const PathLayout base_layout = ReadLayout(base);
  if (base_layout.prefix.IsVerbatim() && !part.empty()) {
    return JoinVerbatim(base, base_layout, part, part_layout);
  }
  if (part_layout.separator_root) {
    return Path(base.substr(0, base_layout.prefix.length)) + Path(part);
  }
  Path joined(base);
  // C: + x stays drive-relative as C:x; a separator would make it C:\x, another file.
  const bool bare_drive = base_layout.prefix.kind == PrefixKind::Drive && base.size() == 2;
  if (!base.empty() && !IsAnySeparator(base.back()) && !bare_drive) {
    joined += u'\\';
  }
  joined += part;
  return joined;
}

bool IsAbsolutePath(std::u16string_view path) {
  // Windows takes any unit before the colon for a drive letter here.
  const bool drive_rooted =
      path.size() >= 3 && !IsAnySeparator(path[0]) && path[1] == u':' && IsAnySeparator(path[2]);
  const bool two_separators =
      path.size() >= 2 && IsAnySeparator(path[0]) && IsAnySeparator(path[1]);
  return drive_rooted || two_separators;
}

}  // namespace ltf
