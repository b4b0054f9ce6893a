#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace ltf::testing {

// Writes one field and its 0 byte to standard output; a field never holds a 0 byte itself.
inline void WriteField(std::string_view field) {
  std::string bytes(field);
  bytes += '\0';
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
}

}  // namespace ltf::testing
