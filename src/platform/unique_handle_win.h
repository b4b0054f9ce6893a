#pragma once

#include <windows.h>

#include <utility>

namespace ltf {

// Sole owner of a handle that `Close` releases. Both NULL and INVALID_HANDLE_VALUE mean
// "no handle", since Windows calls disagree on which one signals failure.
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
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE* Receive() {
    Reset();
    return &handle_;
  }
  HANDLE Release() { return std::exchange(handle_, nullptr); }
  void Reset(HANDLE handle = nullptr) {
    if (Valid()) {
      Close(handle_);
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
