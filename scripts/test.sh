#!/usr/bin/env bash
# Builds every preset and runs every test: natively, under ASan/UBSan, and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/lint.sh
source scripts/lib/xvfb.sh

jobs=$(nproc)
for preset in native native-sanitize windows; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

for preset in native native-sanitize; do
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done

scripts/fuzz.sh 90

# Wine programs that open windows want a display; console ones don't mind having one.
ltf_ensure_display
echo "== windows: test under Wine"
status=0
ctest --preset windows || status=$?
# End the Wine processes of the test prefix, so nothing outlives the run.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
