#!/usr/bin/env bash
# Builds the launcher and runs it under Wine from a demo install directory, beside a demo
# companion, a demo uninstaller and a process-listing tasklist.exe, then saves a screenshot.
# Wine's own tasklist prints nothing, so the stand-in beside the launcher (which looks in its own
# directory first) makes the status line true; on Windows the system's own tasklist is used.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/lib/xvfb.sh

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target LanternfieldLauncher stand_in window_driver

demo="$PWD/build/demo"
install_dir="$demo/Lanternfield"
rm -rf "$install_dir"
mkdir -p "$install_dir"
cp build/windows/src/LanternfieldLauncher.exe "$install_dir/"
for program in lanternfield.exe Uninstall.exe tasklist.exe; do
  cp build/windows/tests/e2e/stand_in.exe "$install_dir/$program"
done

ltf_ensure_display
export WINEPREFIX="$demo/wineprefix"
trap 'wineserver -k 2>/dev/null || true; kill "${LTF_XVFB_PID:-}" 2>/dev/null || true' EXIT

echo "Starting the launcher from $install_dir"
cmake/wine-run.sh "$install_dir/LanternfieldLauncher.exe" &
launcher=$!

window=
for _ in $(seq 1 150); do
  window=$(xdotool search --onlyvisible --name '^Lanternfield$' 2>/dev/null | head -n 1 || true)
  if [[ -n "$window" ]] || ! kill -0 "$launcher" 2>/dev/null; then
    break
  fi
  sleep 0.2
done

screenshot="$demo/launcher-window.png"
if [[ -n "$window" ]]; then
  sleep 1
  import -window "$window" "$screenshot"
  echo "Screenshot of the launcher window: $screenshot"
  # Wine's unmanaged windows ignore an X close request; WM_CLOSE ends the launcher.
  cmake/wine-run.sh build/windows/tests/e2e/window_driver.exe close || true
else
  import -window root "$screenshot"
  echo "The launcher opened no window; screenshot of the whole screen: $screenshot"
fi
wait "$launcher" 2>/dev/null || true
