#pragma once

// Fresh directories in the temporary directory, and copies of files into them.
#include <windows.h>

#include <string>

#include "platform/unique_handle_win.h"
#include "platform/wide_units_win.h"

namespace ltf::testing {

inline const wchar_t* Wide(const std::u16string& text) {
  return AsWide(text.c_str());
}

inline std::u16string Verbatim(std::u16string_view absolute) {
  return u"\\\\?\\" + std::u16string(absolute);
}

// `directory` in the \\?\ form, so trees deeper than MAX_PATH go too. Links are removed, never
// followed: a link to a directory fails DeleteFileW and goes by RemoveDirectoryW.
inline void RemoveTree(const std::u16string& directory) {
  WIN32_FIND_DATAW data;
  UniqueFindHandle search(FindFirstFileW(Wide(directory + u"\\*"), &data));
  for (bool more = search.Valid(); more; more = FindNextFileW(search.Get(), &data) != FALSE) {
    const std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
    const std::u16string child = directory + u"\\" + name;
    const DWORD kind =
        data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    if (kind == FILE_ATTRIBUTE_DIRECTORY && name != u"." && name != u"..") {
      RemoveTree(child);
    } else if (kind != FILE_ATTRIBUTE_DIRECTORY && !DeleteFileW(Wide(child))) {
      RemoveDirectoryW(Wide(child));
    }
  }
  search.Reset();
  RemoveDirectoryW(Wide(directory));
}

inline bool CopyInto(const std::u16string& source, const std::u16string& target) {
  return CopyFileW(Wide(Verbatim(source)), Wide(Verbatim(target)), TRUE) != FALSE;
}

// A new, empty directory (absolute, no trailing separator), or "" when none could be made.
inline std::u16string MakeScratchDirectory() {
  wchar_t temp[MAX_PATH + 1], name[MAX_PATH + 1];
  if (!GetTempPathW(MAX_PATH + 1, temp) || !GetTempFileNameW(temp, L"ltf", 0, name) ||
      !DeleteFileW(name) || !CreateDirectoryW(name, nullptr)) {
    return u"";
  }
  return reinterpret_cast<const char16_t*>(name);
}

}  // namespace ltf::testing
