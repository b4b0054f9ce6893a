#!/usr/bin/env bash
# Builds the launcher and runs it under Wine from a demo install directory, beside a demo
# companion and a demo uninstaller, then saves a screenshot of its window and closes it. The
# companion is not running, which Wine's own tasklist (it prints nothing) reports truly.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# The window needs a display.
if [[ -z "${DISPLAY:-}" ]]; then
  exec scripts/with-display.sh "$PWD/scripts/demo.sh" "$@"
fi

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target LanternfieldLauncher stand_in e2e_driver

demo="$PWD/build/demo"
install_dir="$demo/Lanternfield"
rm -rf "$install_dir" "$demo/launcher-window.ppm"
mkdir -p "$install_dir"
cp build/windows/src/LanternfieldLauncher.exe "$install_dir/"
for program in lanternfield.exe Uninstall.exe; do
  cp build/windows/tests/e2e/stand_in.exe "$install_dir/$program"
done

export WINEPREFIX="$demo/wineprefix"
trap 'wineserver -k 2>/dev/null || true' EXIT
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

echo "Starting the launcher from $install_dir"
launcher=$(windows_path "$install_dir/LanternfieldLauncher.exe")
# The driver reports what the window shows and what is wrong with it, one line each.
cmake/wine-run.sh build/windows/tests/e2e/e2e_driver.exe "$launcher" "$(windows_path "$install_dir")" \
  "\"$launcher\"" window look "$(windows_path "$demo/launcher-window.ppm")" close exit
if [[ -f "$demo/launcher-window.ppm" ]]; then
  convert "$demo/launcher-window.ppm" "$demo/launcher-window.png"
  rm "$demo/launcher-window.ppm"
  echo "Screenshot of the launcher window: $demo/launcher-window.png"
else
  echo "The launcher opened no window; nothing to show"
fi
