#pragma once

// What the runner tests and the child roles they start (main.cpp) share.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace ltf::testing {

inline const wchar_t* Wide(const std::u16string& text) {
  return AsWide(text.c_str());
}

inline std::u16string ThisProgram() {
  return ExecutablePath().value();
}

// Byte i of a flooded stream: a period that no pipe or buffer size divides.
inline char FloodByte(std::size_t i, bool error_stream) {
  return static_cast<char>((i * 7 + (error_stream ? 3 : 0)) % 251);
}
inline constexpr std::size_t kFloodBytes = 1 << 20;

// The child role this program plays when its environment names one; children inherit it.
inline constexpr wchar_t kChildVariable[] = L"LTF_TEST_CHILD";
class ChildRole {
 public:
  explicit ChildRole(const wchar_t* role) { SetEnvironmentVariableW(kChildVariable, role); }
  ~ChildRole() { SetEnvironmentVariableW(kChildVariable, nullptr); }
  ChildRole(const ChildRole&) = delete;
  ChildRole& operator=(const ChildRole&) = delete;
};

}  // namespace ltf::testing
