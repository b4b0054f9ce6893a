// How the exe ends when memory runs out or a standard-library precondition breaks. Nothing in
// the exe catches an exception, so either way the process ends in std::abort; ending there
// directly keeps the runtime's exception machinery out of the exe, and with it the terminate
// handler that would print to a console this program does not have.

#include <cstdlib>
#include <new>
#include <string>  // declares the __throw_* helpers defined below

// The library's operator delete frees with std::free, which matches. The exe installs no
// new-handler, so there is none to call before giving up. msvcrt's malloc gives a zero-byte
// request a block of its own, as operator new must.
void* operator new(std::size_t size) {
  if (void* block = std::malloc(size)) {
    return block;
  }
  std::abort();
}

void* operator new[](std::size_t size) {
  return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size);
}

// The containers report a length past max_size, a position past the end or a string made from
// a null pointer through these helpers, which the library defines in one archive member that
// throws. Each of that member's helpers is defined here, so the linker never pulls it in (if it
// did for some other reason, the link would fail on the duplicates rather than mix the two).
// Each ends the process at once, as the throw it replaces would have through std::terminate.
#define LTF_ENDS_PROCESS(name, ...) \
  void name(__VA_ARGS__) {          \
    abort();                        \
  }

namespace std {

LTF_ENDS_PROCESS(__throw_bad_exception)
LTF_ENDS_PROCESS(__throw_bad_alloc)
LTF_ENDS_PROCESS(__throw_bad_array_new_length)
LTF_ENDS_PROCESS(__throw_bad_cast)
LTF_ENDS_PROCESS(__throw_bad_typeid)
LTF_ENDS_PROCESS(__throw_logic_error, const char*)
LTF_ENDS_PROCESS(__throw_domain_error, const char*)
LTF_ENDS_PROCESS(__throw_invalid_argument, const char*)
LTF_ENDS_PROCESS(__throw_length_error, const char*)
LTF_ENDS_PROCESS(__throw_out_of_range, const char*)
LTF_ENDS_PROCESS(__throw_out_of_range_fmt, const char*, ...)
LTF_ENDS_PROCESS(__throw_runtime_error, const char*)
LTF_ENDS_PROCESS(__throw_range_error, const char*)
LTF_ENDS_PROCESS(__throw_overflow_error, const char*)
LTF_ENDS_PROCESS(__throw_underflow_error, const char*)

}  // namespace std

#undef LTF_ENDS_PROCESS
