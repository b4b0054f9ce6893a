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

# Wine programs that open windows want a display: a private X server unless one is at hand.
echo "== windows"
display=()
if [[ -z "${DISPLAY:-}" ]]; then
  display=(xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp")
fi
status=0
"${display[@]}" cmake --workflow --preset windows || status=$?
# End the Wine processes of the test prefix, so nothing outlives the run.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
exit "$status"
