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

// Readable memory between two inaccessible stretches, so that reading one byte before a text
// placed at the start, or past one placed at the end, faults at once instead of passing unnoticed.
class GuardedBuffer {
 public:
  GuardedBuffer() {
#ifdef _WIN32
    DWORD old;
    map_ = static_cast<char*>(VirtualAlloc(nullptr, 3 * kSize, MEM_COMMIT, PAGE_READWRITE));
    const bool ok = map_ && VirtualProtect(map_, kSize, PAGE_NOACCESS, &old) &&
                    VirtualProtect(map_ + 2 * kSize, kSize, PAGE_NOACCESS, &old);
#else
    void* map =
        mmap(nullptr, 3 * kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    map_ = static_cast<char*>(map);
    const bool ok = map != MAP_FAILED && mprotect(map_, kSize, PROT_NONE) == 0 &&
                    mprotect(map_ + 2 * kSize, kSize, PROT_NONE) == 0;
#endif
    if (!ok) {
      std::abort();
    }
  }
  ~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(map_, 0, MEM_RELEASE);
#else
    munmap(map_, 3 * kSize);
#endif
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  // Copies `text` so that its last byte is the last readable one.
  std::string_view PlaceAtEnd(std::string_view text) { return Place(text, kSize - text.size()); }
  // Copies `text` so that its first byte is the first readable one.
  std::string_view PlaceAtStart(std::string_view text) { return Place(text, 0); }

 private:
  std::string_view Place(std::string_view text, std::size_t offset) {
    if (text.size() > kSize) {
      std::abort();
    }
    char* const at = map_ + kSize + offset;
    std::copy(text.begin(), text.end(), at);
    return {at, text.size()};
  }

  // A multiple of the page size everywhere we run.
  static constexpr std::size_t kSize = 64 * 1024uz;
  char* map_;
};

}  // namespace ltf::testing
