#!/usr/bin/env bash
# Builds every preset and runs every test: natively, under ASan/UBSan, fuzzing, and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/lint.sh

for workflow in native native-sanitize; do
  echo "== $workflow"
  cmake --workflow --preset "$workflow"
done

scripts/fuzz.sh 90

echo "== windows"
status=0
scripts/with-display.sh cmake --workflow --preset windows || status=$?
# End the Wine processes of the test prefix, so nothing outlives the run.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
