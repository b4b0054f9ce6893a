#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace ltf::testing {

// Readable memory followed by an inaccessible stretch, so that reading one byte past a text
// placed at the end faults at once instead of passing unnoticed.
class GuardedBuffer {
 public:
  GuardedBuffer() {
#ifdef _WIN32
    DWORD old;
    base_ = static_cast<char*>(VirtualAlloc(nullptr, 2 * kSize, MEM_COMMIT, PAGE_READWRITE));
    const bool ok = base_ && VirtualProtect(base_ + kSize, kSize, PAGE_NOACCESS, &old);
#else
    void* map =
        mmap(nullptr, 2 * kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    base_ = static_cast<char*>(map);
    const bool ok = map != MAP_FAILED && mprotect(base_ + kSize, kSize, PROT_NONE) == 0;
#endif
    if (!ok) {
      std::abort();
    }
  }
  ~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, 2 * kSize);
#endif
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // Copies `text` so that its last byte is the last readable one.
  std::string_view PlaceAtEnd(std::string_view text) {
    if (text.size() > kSize) {
      std::abort();
    }
    char* const at = base_ + kSize - text.size();
    std::copy(text.begin(), text.end(), at);
    return {at, text.size()};
  }

 private:
  // A multiple of the page size everywhere we run.
  static constexpr std::size_t kSize = 64 * 1024;
  char* base_;
};

}  // namespace ltf::testing
