#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each one in turn for a bounded time.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]   (default 20 s, every target)
# Each target grows a working copy of its seed corpus under build/fuzz/corpus/; the committed
# seeds stay as they are. Exits non-zero when any target reports a finding, and prints where
# the input that caused it was saved.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: scripts/fuzz.sh [seconds-per-target] [target...]" >&2
  exit 2
fi

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$source" _fuzz.cpp)
    targets+=("$name")
  done
fi

build=build/fuzz
failed=()
for name in "${targets[@]}"; do
  binary=$build/tests/fuzz/fuzz_$name
  if [[ ! -x $binary ]]; then
    echo "fuzz: no target $name" >&2
    exit 2
  fi
  work=$build/corpus/$name
  findings=$build/findings/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  cp -n tests/fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true

  echo "== fuzz $name: ${seconds}s"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$findings/")
  if [[ -f tests/fuzz/$name.dict ]]; then
    options+=(-dict="tests/fuzz/$name.dict")
  fi
  status=0
  "$binary" "${options[@]}" "$work" >"$log" 2>&1 || status=$?
  if ((status == 0)); then
    awk '/^stat::number_of_executed_units/ {runs = $2} /^stat::new_units_added/ {added = $2}
      END {printf "%s runs, %s new inputs, ", runs, added}' "$log"
    echo "corpus now $(find "$work" -type f | wc -l) inputs"
  else
    echo "!! $name: finding (exit $status); log $log, inputs in $findings"
    pattern='property does not hold|ERROR: |SUMMARY: |runtime error|Test unit written'
    if grep -qE "$pattern" "$log"; then
      grep -E "$pattern" "$log" | head -n 20
    else
      tail -n 40 "$log"
    fi
    failed+=("$name")
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz: findings in ${failed[*]}"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets, no findings"
