#!/usr/bin/env bash
# Builds every preset and runs every test: lint, natively, under ASan/UBSan, fuzzing, and the
# Windows side under Wine (the exe's file checks and the test kit). Ends with each step's time.
set -euo pipefail
cd "$(dirname "$0")/.."

timings=()
# Runs one step, notes its time and gives back its status.
step() {
  local name=$1 started=$SECONDS status=0
  shift
  echo "== $name"
  "$@" || status=$?
  timings+=("$(printf '%5d s  %s' $((SECONDS - started)) "$name")")
  return "$status"
}

step "install" scripts/install-deps.sh
step "lint" scripts/lint.sh
for workflow in native native-sanitize; do
  step "$workflow" cmake --workflow --preset "$workflow"
done
# From the committed seeds the fuzzer reaches all the code it ever reaches within about 5 s;
# what it finds later are new hit counts of the same branches. Longer runs: scripts/fuzz.sh N.
step "fuzz" scripts/fuzz.sh 30

status=0
step "windows" scripts/with-display.sh cmake --workflow --preset windows || status=$?
# End the Wine processes of the test prefix, so nothing outlives the run.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
printf '%s\n' "${timings[@]}"
echo "$(printf '%5d' "$SECONDS") s  in all"
exit "$status"
