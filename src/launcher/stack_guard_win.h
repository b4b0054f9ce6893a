#pragma once

// The stack guard of our Windows programs: its value before anyone seeds it, and who seeded it.
#include <cstdint>

// NOLINTNEXTLINE(bugprone-reserved-identifier): the compiler's name for the guard it checks.
extern "C" std::uintptr_t __stack_chk_guard;

namespace ltf {

// The value a guard holds in the file: the default security cookie, which Windows' loader replaces
// with a random one when the load configuration names it.
inline constexpr std::uintptr_t kDefaultStackGuard = 0x00002B992DDFA232;

enum class StackGuardSeeder { Loader, Constructor };

// The loader, or the program's first constructor where the loader left the default.
StackGuardSeeder StackGuardSeededBy();

// What the first constructor does with the program's guard: seeds a guard that holds the default
// and says so, or leaves it to the loader that already did.
StackGuardSeeder SeedStackGuard(std::uintptr_t& guard);

}  // namespace ltf
