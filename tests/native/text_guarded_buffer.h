#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ltf::testing {

// Readable pages between two inaccessible ones, so that reading one byte before or after a
// placed text faults at once instead of passing unnoticed.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t capacity) {
    page_ = PageSize();
    usable_ = (capacity + page_ - 1) / page_ * page_;
    if (usable_ == 0) {
      usable_ = page_;
    }
    const std::size_t total = usable_ + 2 * page_;
#ifdef _WIN32
    base_ =
        static_cast<char*>(VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous = 0;
    if (base_ == nullptr || !VirtualProtect(base_, page_, PAGE_NOACCESS, &previous) ||
        !VirtualProtect(base_ + page_ + usable_, page_, PAGE_NOACCESS, &previous)) {
      std::abort();
    }
#else
    void* mapping =
        mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
      std::abort();
    }
    base_ = static_cast<char*>(mapping);
    if (mprotect(base_, page_, PROT_NONE) != 0 ||
        mprotect(base_ + page_ + usable_, page_, PROT_NONE) != 0) {
      std::abort();
    }
#endif
  }

  ~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, usable_ + 2 * page_);
#endif
  }

  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // Copies `text` so that its last byte is the last readable one.
  std::string_view PlaceAtEnd(std::string_view text) {
    return Place(text, usable_ - Checked(text.size()));
  }

  // Copies `text` so that its first byte is the first readable one.
  std::string_view PlaceAtStart(std::string_view text) {
    Checked(text.size());
    return Place(text, 0);
  }

 private:
  static std::size_t PageSize() {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
  }

  std::size_t Checked(std::size_t size) const {
    if (size > usable_) {
      std::abort();
    }
    return size;
  }

  std::string_view Place(std::string_view text, std::size_t offset) {
    char* at = base_ + page_ + offset;
    if (!text.empty()) {
      std::memcpy(at, text.data(), text.size());
    }
    return {at, text.size()};
  }

  std::size_t page_ = 0;
  std::size_t usable_ = 0;
  char* base_ = nullptr;
};

}  // namespace ltf::testing
