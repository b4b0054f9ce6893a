#pragma once

namespace ltf {

// MinGW's wchar_t is a 16-bit UTF-16 unit, the same representation as char16_t, so our units
// go to wide Windows calls as they are.
inline const wchar_t* AsWide(const char16_t* units) {
  return reinterpret_cast<const wchar_t*>(units);
}
inline wchar_t* AsWide(char16_t* units) {
  return reinterpret_cast<wchar_t*>(units);
}

}  // namespace ltf
