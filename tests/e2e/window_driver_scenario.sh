#!/usr/bin/env bash
# One launcher window check: an install directory with the launcher and a stand-in companion
# (and, for Running, a scripted stand-in tasklist), the driver run against it under Wine, and
# its screenshot turned into a PNG beside the install directory.
# usage: window_driver_scenario.sh Running|Stopped close|toggle WORK LAUNCHER DRIVER STAND_IN
set -euo pipefail
state=$1 ending=$2 work=$3 launcher=$4 driver=$5 stand_in=$6
root=$(cd "$(dirname "$0")/../.." && pwd)

install_dir="$work/$state"
rm -rf "$install_dir"
mkdir -p "$install_dir"
cp "$launcher" "$install_dir/LanternfieldLauncher.exe"
cp "$stand_in" "$install_dir/lanternfield.exe"
if [[ $state == Running ]]; then
  cp "$stand_in" "$install_dir/tasklist.exe"
  printf '\r\nlanternfield.exe              4242 Console                    1      2,048 K\r\n' \
    >"$install_dir/tasklist.out"
fi

source "$root/scripts/lib/xvfb.sh"
ltf_ensure_display
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

status=0
"$root/cmake/wine-run.sh" "$driver" launcher "$(windows_path "$install_dir/LanternfieldLauncher.exe")" \
  "$state" "$(windows_path "$work/launcher-window-$state.bmp")" "$ending" || status=$?
if [[ -f "$work/launcher-window-$state.bmp" ]]; then
  convert "$work/launcher-window-$state.bmp" "$work/launcher-window-$state.png"
  rm "$work/launcher-window-$state.bmp"
  echo "Screenshot: $work/launcher-window-$state.png"
fi
# A private display must not go before the Wine processes that use it.
if [[ -n ${LTF_XVFB_PID:-} ]]; then
  wineserver -w
fi
exit "$status"
