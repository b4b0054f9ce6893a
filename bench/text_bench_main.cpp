// The text kernels against the standard library and glibc on the same inputs, in one run.
#include "bench_registry.h"

namespace {

const bool kRegistered = [] {
  ltf::bench::RegisterSearchBenchmarks();
  ltf::bench::RegisterDecodeBenchmarks();
  ltf::bench::RegisterWideStringBenchmarks();
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
