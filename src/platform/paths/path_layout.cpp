#include "platform/paths/path_layout.h"

#include "platform/paths/paths.h"

namespace ltf {

namespace {

bool IsAsciiLetter(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z');
}

// Units from `from` up to the next separator or the end; none from at or past the end.
std::size_t RunLength(std::u16string_view path, std::size_t from, bool verbatim) {
  std::size_t end = from;
  while (end < path.size() && !(verbatim ? path[end] == u'\\' : IsAnySeparator(path[end]))) {
    ++end;
  }
  return end - from;
}

PathPrefix ParseVerbatim(std::u16string_view path) {
  constexpr std::size_t kUncStart = kVerbatimUncPrefix.size();
  if (path.starts_with(kVerbatimUncPrefix)) {
    std::size_t length = kUncStart + RunLength(path, kUncStart, true);
    if (length < path.size()) {
      const std::size_t share = RunLength(path, length + 1, true);
      if (share > 0) {
        length += 1 + share;
      }
    }
    return {PrefixKind::VerbatimUnc, length};
  }
  constexpr std::size_t kStart = kVerbatimPrefix.size();
  const std::size_t name = RunLength(path, kStart, true);
  if (name == 2 && IsAsciiLetter(path[kStart]) && path[kStart + 1] == u':') {
    return {PrefixKind::VerbatimDrive, kStart + 2};
  }
  return {PrefixKind::Verbatim, kStart + name};
}

}  // namespace

PathPrefix ParsePrefix(std::u16string_view path) {
  if (path.starts_with(kVerbatimPrefix)) {
    return ParseVerbatim(path);
  }
  if (path.size() >= 2 && IsAnySeparator(path[0]) && IsAnySeparator(path[1])) {
    if (path.size() >= 4 && path[2] == u'.' && IsAnySeparator(path[3])) {
      return {PrefixKind::Device, 4 + RunLength(path, 4, false)};
    }
    const std::size_t server = RunLength(path, 2, false);
    const std::size_t share_start = 2 + server + 1;
    if (server > 0) {
      const std::size_t share = RunLength(path, share_start, false);
      if (share > 0) {
        return {PrefixKind::Unc, share_start + share};
      }
    }
    return {};
  }
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == u':') {
    return {PrefixKind::Drive, 2};
  }
  return {};
}

PathLayout ReadLayout(std::u16string_view path) {
  PathLayout layout;
  layout.prefix = ParsePrefix(path);
  layout.separator_root =
      layout.prefix.length < path.size() && layout.IsSeparator(path[layout.prefix.length]);
  return layout;
}

std::vector<ComponentSpan> Components(std::u16string_view path, const PathLayout& layout) {
  const bool verbatim = layout.prefix.IsVerbatim();
  std::vector<ComponentSpan> components;
  std::size_t begin = layout.BodyStart();
  const bool leading_dot_counts = verbatim || !layout.HasRoot();
  for (bool first = true; begin <= path.size(); first = false) {
    const std::size_t length = RunLength(path, begin, verbatim);
    const std::u16string_view part = path.substr(begin, length);
    if (!part.empty() && (part != u"." || verbatim || (first && leading_dot_counts))) {
      components.push_back({begin, begin + length});
    }
    begin += length + 1;
  }
  return components;
}

bool NeedsFullPath(std::u16string_view path) {
  if (path.empty() || path.starts_with(kVerbatimPrefix) || path.starts_with(u"\\??\\")) {
    return false;
  }
  if (path.size() >= kExtendedLengthThreshold) {
    return true;
  }
  const bool bare_drive = path.size() == 2 && !IsAnySeparator(path[0]) && path[1] == u':';
  return !bare_drive && !IsAbsolutePath(path);
}

std::u16string AddExtendedLengthPrefix(std::u16string_view absolute, bool prefer_verbatim) {
  if (!prefer_verbatim && absolute.size() < kExtendedLengthThreshold) {
    return std::u16string(absolute);
  }
  if (absolute.size() >= 3 && absolute[1] == u':' && absolute[2] == u'\\') {
    return std::u16string(kVerbatimPrefix) + std::u16string(absolute);
  }
  if (absolute.starts_with(u"\\\\.\\")) {
    return std::u16string(kVerbatimPrefix) + std::u16string(absolute.substr(4));
  }
  if (absolute.starts_with(kVerbatimPrefix) || absolute.starts_with(u"\\?")) {
    return std::u16string(absolute);
  }
  if (absolute.starts_with(u"\\\\")) {
    return std::u16string(kVerbatimUncPrefix) + std::u16string(absolute.substr(2));
  }
  return std::u16string(absolute);
}

}  // namespace ltf
