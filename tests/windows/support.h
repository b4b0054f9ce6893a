#pragma once

// What the Windows-side tests share: scratch directories, the handle count, and the role this
// program plays when a test starts it as a child (main.cpp).
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/text/text.h"
#include "platform/windows_call_win.h"

namespace ltf::testing {


inline const wchar_t* Wide(const std::u16string& text) {
  return AsWide(text.c_str());
}
inline std::u16string Units(const wchar_t* wide) {
  return reinterpret_cast<const char16_t*>(wide);
}

inline std::u16string ThisProgram() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
  return Units(path);
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

// A fresh directory in the temporary directory (absolute, no trailing separator), removed with
// everything in it when the test ends.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    wchar_t temp[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, temp) && GetTempFileNameW(temp, L"ltf", 0, name) &&
        DeleteFileW(name) && CreateDirectoryW(name, nullptr)) {
      path_ = Units(name);
    }
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path_), ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::u16string& Path() const { return path_; }
  // A copy of this test program in the directory.
  std::u16string Plant(const std::u16string& name) const {
    const std::u16string target = path_ + u"\\" + name;
    return CopyFileW(Wide(ThisProgram()), Wide(target), TRUE) ? target : u"";
  }

 private:
  std::u16string path_;
};

// Our own open handles, counted from the system's handle table: GetProcessHandleCount under
// Wine always answers 0.
inline std::size_t CountOwnHandles() {
  struct Entry {
    USHORT process_id;  // the low 16 bits only
    USHORT creator_back_trace_index;
    UCHAR object_type_index, attributes;
    USHORT value;
    PVOID object;
    ULONG granted_access;
  };
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr auto kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 16);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) ==
         kInfoLengthMismatch) {
    buffer.resize(std::max<std::size_t>(needed + 4096, buffer.size() * 2));
  }
  if (status < 0) {
    return 0;
  }
  const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
  const auto self = static_cast<USHORT>(GetCurrentProcessId());
  std::size_t own = 0;
  for (ULONG i = 0; i < count; ++i) {
    own += entries[i].process_id == self ? 1 : 0;
  }
  return own;
}

}  // namespace ltf::testing
