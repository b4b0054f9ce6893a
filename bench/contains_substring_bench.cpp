#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "bench_registry.h"
#include "platform/text/text.h"
#include "text_corpora.h"

namespace ltf::bench {

namespace {

using Searcher = bool (*)(std::string_view haystack, std::string_view needle);

bool ByContainsSubstring(std::string_view haystack, std::string_view needle) {
  return ContainsSubstring(haystack, needle);
}

bool ByMemmem(std::string_view haystack, std::string_view needle) {
  return memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

bool ByStringViewFind(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

// Built per call, as a probe that searches each output once would have to.
bool ByHorspool(std::string_view haystack, std::string_view needle) {
  const std::boyer_moore_horspool_searcher searcher(needle.begin(), needle.end());
  return std::search(haystack.begin(), haystack.end(), searcher) != haystack.end();
}

// The one-pass ceiling: every byte read once, nothing else done.
bool ByMemchrOfAbsentByte(std::string_view haystack, std::string_view) {
  return std::memchr(haystack.data(), kAbsentByte, haystack.size()) != nullptr;
}

void Search(benchmark::State& state, Searcher searcher, std::string_view haystack, bool expected) {
  if (searcher(haystack, kCompanion) != expected) {
    state.SkipWithError("wrong answer");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(haystack.data());
    benchmark::DoNotOptimize(searcher(haystack, kCompanion));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * haystack.size()));
}

}  // namespace

void RegisterSearchBenchmarks() {
  const struct {
    const char* name;
    std::string (*make)(std::size_t, Placement);
  } corpora[] = {{"tasklist", TaskListText},
                 {"random", RandomBytes},
                 {"first-last-heavy", FirstLastHeavyText}};
  const struct {
    const char* name;
    Placement placement;
  } placements[] = {
      {"absent", Placement::Absent}, {"start", Placement::Start}, {"end", Placement::End}};
  const struct {
    const char* name;
    Searcher searcher;
  } searchers[] = {{"ContainsSubstring", ByContainsSubstring},
                   {"memmem", ByMemmem},
                   {"string_view::find", ByStringViewFind},
                   {"boyer_moore_horspool", ByHorspool}};

  for (const auto& corpus : corpora) {
    for (const std::size_t size : kSizes) {
      const std::string prefix = std::string("search/") + corpus.name + "/" + SizeName(size) + "/";
      for (const auto& place : placements) {
        const std::string_view haystack = Keep(corpus.make(size, place.placement));
        const bool expected = place.placement != Placement::Absent;
        for (const auto& s : searchers) {
          benchmark::RegisterBenchmark((prefix + place.name + "/" + s.name).c_str(), Search,
                                       s.searcher, haystack, expected);
        }
        if (place.placement == Placement::Absent) {
          benchmark::RegisterBenchmark((prefix + "absent/memchr").c_str(), Search,
                                       ByMemchrOfAbsentByte, haystack, false);
        }
      }
    }
  }
}

}  // namespace ltf::bench
