#include "platform/paths/extended_length.h"

#include "platform/paths/path_layout.h"

namespace ltf {

bool NeedsFullPath(std::u16string_view path) {
  if (path.empty() || path.starts_with(u"\\\\?\\") || path.starts_with(u"\\??\\")) {
    return false;
  }
  if (path.size() >= kExtendedLengthThreshold) {
    return true;
  }
  const bool drive_rooted = path.size() >= 2 && !IsAnySeparator(path[0]) && path[1] == u':' &&
                            (path.size() == 2 || IsAnySeparator(path[2]));
  const bool two_separators =
      path.size() >= 2 && IsAnySeparator(path[0]) && IsAnySeparator(path[1]);
  return !drive_rooted && !two_separators;
}

Path AddExtendedLengthPrefix(std::u16string_view absolute, bool prefer_verbatim) {
  if (!prefer_verbatim && absolute.size() < kExtendedLengthThreshold) {
    return Path(absolute);
  }
  if (absolute.size() >= 3 && absolute[1] == u':' && absolute[2] == u'\\') {
    return u"\\\\?\\" + Path(absolute);
  }
  if (absolute.starts_with(u"\\\\.\\")) {
    return u"\\\\?\\" + Path(absolute.substr(4));
  }
  if (absolute.starts_with(u"\\\\?\\") || absolute.starts_with(u"\\?")) {
    return Path(absolute);
  }
  if (absolute.starts_with(u"\\\\")) {
    return u"\\\\?\\UNC\\" + Path(absolute.substr(2));
  }
  return Path(absolute);
}

}  // namespace ltf
