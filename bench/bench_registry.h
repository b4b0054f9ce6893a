#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace ltf::bench {

inline constexpr std::size_t kSizes[] = {4 * 1024uz, 64 * 1024uz, 1024 * 1024uz};

inline std::string SizeName(std::size_t size) {
  return size >= 1024 * 1024uz ? std::to_string(size / (1024 * 1024uz)) + "MiB"
                               : std::to_string(size / 1024) + "KiB";
}

// Inputs live as long as the process, so registered benchmarks can hold views of them.
inline std::string_view Keep(std::string text) {
  static std::deque<std::string> kept;
  return kept.emplace_back(std::move(text));
}

// Each adds its benchmarks, named group/case.../implementation.
void RegisterSearchBenchmarks();
void RegisterDecodeBenchmarks();
void RegisterWideStringBenchmarks();

}  // namespace ltf::bench
