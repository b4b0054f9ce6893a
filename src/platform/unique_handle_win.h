#pragma once

#include <windows.h>

#include <utility>

#include "platform/windows_error.h"

namespace ltf {

inline WindowsError LastError() {
  return WindowsError{GetLastError()};
}

// Both NULL and INVALID_HANDLE_VALUE mean "no handle", since Windows calls disagree on which one
// signals failure.
inline bool IsHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Sole owner of a handle that `Close` releases. Closing keeps the last error, so a caller may
// read it after the owner has gone.
template <BOOL(WINAPI* Close)(HANDLE)>
class BasicUniqueHandle {
 public:
  BasicUniqueHandle() = default;
  explicit BasicUniqueHandle(HANDLE handle) : handle_(handle) {}
  BasicUniqueHandle(BasicUniqueHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)) {}
  BasicUniqueHandle& operator=(BasicUniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset(std::exchange(other.handle_, nullptr));
    }
    return *this;
  }
  BasicUniqueHandle(const BasicUniqueHandle&) = delete;
  BasicUniqueHandle& operator=(const BasicUniqueHandle&) = delete;
  ~BasicUniqueHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  bool Valid() const { return IsHandle(handle_); }
  HANDLE* Receive() {
    Reset();
    return &handle_;
  }
  void Reset(HANDLE handle = nullptr) {
    if (Valid()) {
      const DWORD last_error = GetLastError();
      Close(handle_);
      SetLastError(last_error);
    }
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

using UniqueHandle = BasicUniqueHandle<CloseHandle>;
// A FindFirstFile search, which FindClose ends, not CloseHandle.
using UniqueFindHandle = BasicUniqueHandle<FindClose>;

}  // namespace ltf
