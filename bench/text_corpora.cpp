#include "text_corpora.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace ltf::bench {

namespace {

// Image names of ordinary Windows processes; none contains the companion's name.
constexpr std::array<std::string_view, 16> kImages = {
    "System Idle Process", "System",       "smss.exe",          "csrss.exe",
    "wininit.exe",         "services.exe", "lsass.exe",         "svchost.exe",
    "explorer.exe",        "conhost.exe",  "dwm.exe",           "taskhostw.exe",
    "RuntimeBroker.exe",   "spoolsv.exe",  "SearchIndexer.exe", "notepad.exe"};

std::string TaskListLine(std::string_view image, std::mt19937_64& rng) {
  char line[128];
  const auto pid = static_cast<unsigned>(rng() % 60000 + 4);
  const auto kilobytes = static_cast<unsigned>(rng() % 400000 + 8);
  char memory[32];
  if (kilobytes >= 1000) {
    std::snprintf(memory, sizeof(memory), "%u,%03u K", kilobytes / 1000, kilobytes % 1000);
  } else {
    std::snprintf(memory, sizeof(memory), "%u K", kilobytes);
  }
  const bool console = rng() % 2 == 0;
  const int length = std::snprintf(line, sizeof(line), "%-25.*s%9u %-16s%12u%13s\r\n",
                                   static_cast<int>(image.size()), image.data(), pid,
                                   console ? "Console" : "Services", console ? 1u : 0u, memory);
  return std::string(line, static_cast<std::size_t>(length));
}

// Writes the needle at the start or the end and checks that it occurs there and nowhere else.
std::string Place(std::string text, Placement placement) {
  std::size_t at = std::string::npos;
  if (placement == Placement::Start) {
    at = 0;
  } else if (placement == Placement::End) {
    at = text.size() - kCompanion.size();
  }
  if (at != std::string::npos) {
    text.replace(at, kCompanion.size(), kCompanion);
  }
  if (text.find(kCompanion) != at || text.find(kAbsentByte) != std::string::npos) {
    std::fputs("corpus: the needle or the absent byte is misplaced\n", stderr);
    std::abort();
  }
  return text;
}

}  // namespace

std::string TaskListText(std::size_t size, Placement placement) {
  std::mt19937_64 rng(0x7A5C);
  std::string text = "\r\n";
  while (text.size() < size) {
    text += TaskListLine(kImages[rng() % kImages.size()], rng);
  }
  text.resize(size);
  if (placement == Placement::Absent) {
    return Place(std::move(text), placement);
  }
  // The companion's line replaces the first or the last whole line.
  const std::string line = TaskListLine(kCompanion, rng);
  if (placement == Placement::Start) {
    text.replace(0, line.size(), line);
  } else {
    text.replace(size - line.size(), line.size(), line);
  }
  if (text.find(kCompanion) != (placement == Placement::Start ? 0 : size - line.size())) {
    std::abort();
  }
  return text;
}

std::string RandomBytes(std::size_t size, Placement placement) {
  std::mt19937_64 rng(0xB17E5);
  std::string text(size, '\0');
  for (char& c : text) {
    c = static_cast<char>(rng() % 255);
  }
  return Place(std::move(text), placement);
}

std::string FirstLastHeavyText(std::size_t size, Placement placement) {
  constexpr std::string_view kOthers = "abcdfghijkmnopqrstuvwxyz. ";
  std::mt19937_64 rng(0x1E1E);
  std::string text(size, '\0');
  for (char& c : text) {
    const auto draw = rng() % 4;
    c = draw == 0 ? 'l' : draw == 1 ? 'e' : kOthers[rng() % kOthers.size()];
  }
  return Place(std::move(text), placement);
}

std::string MixedScriptText(std::size_t size) {
  constexpr std::array<std::string_view, 24> kWords = {
      "launcher", "window",   "status", "running", "café", "naïve",  "Größe", "façade",
      "λύχνος",   "παράθυρο", "φως",    "фонарь",  "окно", "запуск", "提灯",  "窓",
      "起動",     "ランタン", "実行中", "실행",    "🏮",   "🪟",     "✅",    "🚀"};
  constexpr std::array<std::string_view, 4> kGaps = {" ", " ", ", ", ".\n"};
  std::mt19937_64 rng(0x3A1D);
  std::string text;
  while (text.size() < size) {
    text += kWords[rng() % kWords.size()];
    text += kGaps[rng() % kGaps.size()];
  }
  // Cut at a character boundary, then pad with spaces to the exact size.
  std::size_t cut = size;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
    --cut;
  }
  text.resize(cut);
  text.resize(size, ' ');
  return text;
}

std::string IllFormedText(std::size_t size) {
  std::string text = MixedScriptText(size);
  std::mt19937_64 rng(0xBAD8);
  for (char& c : text) {
    if (rng() % 32 == 0) {
      c = static_cast<char>(0x80 + rng() % 0x80);
    }
  }
  return text;
}

}  // namespace ltf::bench
