#!/usr/bin/env bash
# Runs the benchmarks and prints their figures against the targets: the native text kernels,
# RunToCompletion under Wine, and the launcher exe's size, what makes it up and its imports. It
# never fails on a time.
#
# Usage: scripts/bench.sh [text] [runner] [exe]       (no argument: all three)
# LTF_BENCH_REPETITIONS (default 5), LTF_BENCH_CAPTURES (7) and LTF_BENCH_SPAWNS (31) set how
# often each measurement is repeated; the tables show medians.
set -euo pipefail
cd "$(dirname "$0")/.."

parts=("$@")
if ((${#parts[@]} == 0)); then
  parts=(text runner exe)
fi
wants() {
  local part
  for part in "${parts[@]}"; do
    [[ $part == "$1" ]] && return 0
  done
  return 1
}

scripts/install-deps.sh
results=build/bench/results
mkdir -p "$results"
# Two cores shared with other work: build gently, and measure each part on its own.
jobs=2

if wants text; then
  echo "== text kernels: build (bench preset) and run, a few minutes"
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j "$jobs"
  rm -f "$results/text.json"
  nice build/bench/bench/ltf_text_bench \
    --benchmark_repetitions="${LTF_BENCH_REPETITIONS:-5}" --benchmark_min_time=0.1 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/text.json" --benchmark_out_format=json >"$results/text.log" 2>&1
fi

if wants runner || wants exe; then
  echo "== windows preset: build the launcher and the runner benchmark"
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs" --target LanternfieldLauncher ltf_runner_bench
fi

if wants runner; then
  echo "== RunToCompletion under Wine, a minute or so"
  rm -f "$results/runner.tsv"
  prefix="$PWD/build/windows/wineprefix"
  status=0
  WINEPREFIX="$prefix" nice cmake/wine-run.sh build/windows/bench/ltf_runner_bench.exe \
    "${LTF_BENCH_CAPTURES:-7}" "${LTF_BENCH_SPAWNS:-31}" >"$results/runner.tsv.part" || status=$?
  # End the Wine processes of the prefix, so nothing outlives the run.
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  if ((status != 0)); then
    echo "the runner benchmark failed (exit $status)" >&2
    exit "$status"
  fi
  mv "$results/runner.tsv.part" "$results/runner.tsv"
fi

if wants exe; then
  # The exe as it ships (the build strips it) and the link map that says what makes it up.
  cp build/windows/src/LanternfieldLauncher.{exe,map} "$results/"
fi

echo
python3 bench/report.py "$results"
