#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "bench_registry.h"
#include "platform/text/text.h"
#include "text_corpora.h"

namespace ltf::bench {

namespace {

std::span<const unsigned char> Bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// The plain way: one byte after another, checking each against the well-formed ranges, and
// resuming after an ill-formed run as the lossy decoder does. Returns the number of runs.
std::size_t CountIllFormedRunsByteAtATime(std::span<const unsigned char> bytes) {
  const std::size_t n = bytes.size();
  std::size_t runs = 0;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char lead = bytes[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      low = lead == 0xE0 ? 0xA0 : 0x80;
      high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      low = lead == 0xF0 ? 0x90 : 0x80;
      high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
      ++runs;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k < length; ++k) {
      if (i + k == n || bytes[i + k] < low || bytes[i + k] > high) {
        break;
      }
      low = 0x80;
      high = 0xBF;
    }
    runs += k < length ? 1 : 0;
    i += k;
  }
  return runs;
}

void Decode(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    const DecodedText decoded = DecodeUtf8Lossy(Bytes(text));
    benchmark::DoNotOptimize(decoded.View().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Validate(benchmark::State& state, std::string_view text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    benchmark::DoNotOptimize(CountIllFormedRunsByteAtATime(Bytes(text)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void Copy(benchmark::State& state, std::string_view text) {
  const auto target = std::make_unique<char[]>(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(text.data());
    std::memcpy(target.get(), text.data(), text.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The decoder borrows exactly the well-formed inputs and replaces as many runs as the validator
// counts (no corpus holds a U+FFFD of its own).
bool Agrees(std::string_view text) {
  const DecodedText decoded = DecodeUtf8Lossy(Bytes(text));
  const std::size_t runs = CountIllFormedRunsByteAtATime(Bytes(text));
  std::size_t replacements = 0;
  for (std::size_t at = 0; (at = decoded.View().find("\xEF\xBF\xBD", at)) != std::string::npos;
       at += 3) {
    ++replacements;
  }
  return decoded.IsBorrowed() == (runs == 0) && replacements == runs;
}

}  // namespace

void RegisterDecodeBenchmarks() {
  const struct {
    const char* name;
    std::string (*make)(std::size_t);
  } inputs[] = {{"ascii", [](std::size_t size) { return TaskListText(size, Placement::End); }},
                {"mixed-script", MixedScriptText},
                {"ill-formed", IllFormedText}};
  for (const auto& input : inputs) {
    for (const std::size_t size : kSizes) {
      const std::string_view text = Keep(input.make(size));
      const std::string prefix = std::string("decode/") + input.name + "/" + SizeName(size) + "/";
      if (!Agrees(text)) {
        benchmark::RegisterBenchmark((prefix + "DecodeUtf8Lossy").c_str(), [](auto& state) {
          state.SkipWithError("decoder and validator disagree");
        });
        continue;
      }
      benchmark::RegisterBenchmark((prefix + "DecodeUtf8Lossy").c_str(), Decode, text);
      benchmark::RegisterBenchmark((prefix + "byte-at-a-time").c_str(), Validate, text);
      benchmark::RegisterBenchmark((prefix + "memcpy").c_str(), Copy, text);
    }
  }
}

}  // namespace ltf::bench
