// The guard that -fstack-protector-strong stores in the frame of each of our functions with a
// local array or a local whose address is taken, and compares on the way out. Both symbols the
// compiler asks for are defined here, so the link takes nothing from libssp, whose guard is
// seeded through advapi32 and brings some 4.6 KiB. The load configuration names the guard as the
// image's security cookie (load_config_win.S), so Windows' loader may seed it first.

#include "launcher/stack_guard_win.h"

#include <windows.h>

#include <cstdint>

// NOLINTBEGIN(bugprone-reserved-identifier): the names are the compiler's, which uses them.
extern "C" {

// In writable data and at the default value, as the loader wants a cookie it is to replace.
std::uintptr_t __stack_chk_guard = ltf::kDefaultStackGuard;

// Reached from a function whose frame was overwritten, so nothing of the process can be trusted,
// its handlers included: the fail-fast interrupt ends it in the kernel, running no handler,
// filter or atexit function and reporting the reason to Windows Error Reporting, as /GS does,
// where abort, which the other runtime failures take, would first run the runtime's SIGABRT.
[[noreturn]] void __stack_chk_fail() {
  __asm__ __volatile__("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
  __builtin_unreachable();
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier)

namespace ltf {

namespace {

StackGuardSeeder seeder = StackGuardSeeder::Loader;

}  // namespace

// What differs between runs and processes, XORed as MSVC seeds its cookie. Not protected itself:
// it returns after the guard it would check has changed.
[[gnu::no_stack_protector]] StackGuardSeeder SeedStackGuard(std::uintptr_t& guard) {
  if (guard != kDefaultStackGuard) {
    return StackGuardSeeder::Loader;
  }
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  std::uintptr_t seed = std::uintptr_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
  seed ^= GetCurrentProcessId();
  seed ^= GetCurrentThreadId();
  seed ^= std::uintptr_t{counter.LowPart} << 32 ^ static_cast<std::uintptr_t>(counter.QuadPart);
  seed ^= reinterpret_cast<std::uintptr_t>(&seed);
  guard = seed;
  return StackGuardSeeder::Constructor;
}

StackGuardSeeder StackGuardSeededBy() {
  return seeder;
}

namespace {

// The first constructor of the program (101 is the earliest priority it may use): before it only
// the runtime's start-up runs, which is not protected, and our code runs only from the
// constructors after it and main.
[[gnu::constructor(101), gnu::no_stack_protector]] void SeedOwnStackGuard() {
  seeder = SeedStackGuard(__stack_chk_guard);
}

}  // namespace

}  // namespace ltf
