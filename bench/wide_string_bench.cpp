#include <cstdint>
#include <string>
#include <string_view>

#include "bench_registry.h"
#include "platform/text/text.h"
#include "text_corpora.h"

namespace ltf::bench {

namespace {

void Widen(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    const WideString wide = ToWideString(text);
    benchmark::DoNotOptimize(wide.Data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

}  // namespace

void RegisterWideStringBenchmarks() {
  // Texts of the kind the window and the message boxes hand to wide calls.
  const struct {
    const char* name;
    std::string_view text;
  } fixed[] = {{"Running", "Running"},
               {"LTF_Launcher", "LTF_Launcher"},
               {"confirmation", "Are you sure you want to uninstall Lanternfield?"}};
  for (const auto& f : fixed) {
    benchmark::RegisterBenchmark((std::string("widen/short/") + f.name).c_str(), Widen, f.text);
  }
  constexpr std::size_t kLarge = 1024 * 1024uz;
  benchmark::RegisterBenchmark("widen/ascii/1MiB", Widen,
                               Keep(TaskListText(kLarge, Placement::Absent)));
  benchmark::RegisterBenchmark("widen/mixed-script/1MiB", Widen, Keep(MixedScriptText(kLarge)));
}

}  // namespace ltf::bench
