#pragma once

// Deterministic inputs for the text benchmarks: the same bytes on every run and machine.
#include <cstddef>
#include <string>
#include <string_view>

namespace ltf::bench {

inline constexpr std::string_view kCompanion = "lanternfield.exe";
// Occurs in no corpus, so a memchr for it reads every byte once.
inline constexpr char kAbsentByte = '\xFF';

enum class Placement { Absent, Start, End };

// Task-list lines (image name, PID, session, memory) of other programs; with the companion's
// line first or last when placed.
std::string TaskListText(std::size_t size, Placement placement);
// Bytes 00..FE from a fixed seed.
std::string RandomBytes(std::size_t size, Placement placement);
// Letters in which the companion's first and last bytes, 'l' and 'e', are each a quarter.
std::string FirstLastHeavyText(std::size_t size, Placement placement);

// Words of Latin, Greek, Cyrillic, CJK and emoji between ASCII spaces and punctuation.
std::string MixedScriptText(std::size_t size);
// MixedScriptText with about one byte in 32 overwritten by a random byte 80..FF.
std::string IllFormedText(std::size_t size);

}  // namespace ltf::bench
