#!/usr/bin/env bash
# Builds the libFuzzer target (preset fuzz) and runs it for a bounded time.
# Usage: scripts/fuzz.sh [seconds]   (default 60)
# It grows a working copy of the seed corpus under build/fuzz/corpus/; the committed seeds stay
# as they are. Exits non-zero on a finding, and prints where the input that caused it was saved.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: scripts/fuzz.sh [seconds]" >&2
  exit 2
fi

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

build=build/fuzz
work=$build/corpus
findings=$build/findings
log=$build/fuzz.log
mkdir -p "$work" "$findings"
cp -n tests/fuzz/corpus/* "$work"/ 2>/dev/null || true

echo "== fuzz: ${seconds}s"
status=0
"$build/tests/fuzz/fuzz_all" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$findings/" -dict=tests/fuzz/fuzz.dict "$work" \
  >"$log" 2>&1 || status=$?
if ((status != 0)); then
  echo "!! finding (exit $status); log $log, inputs in $findings"
  grep -E 'property does not hold|ERROR: |SUMMARY: |runtime error|Test unit written' "$log" |
    head -n 20 || tail -n 40 "$log"
  exit 1
fi
awk '/^stat::number_of_executed_units/ {runs = $2} /^stat::new_units_added/ {added = $2}
  END {printf "fuzz: %s runs, %s new inputs, ", runs, added}' "$log"
echo "corpus now $(find "$work" -type f | wc -l) inputs, no findings"
