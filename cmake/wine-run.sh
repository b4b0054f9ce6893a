#!/usr/bin/env bash
# Runs a Windows program under Wine in the test prefix, making the prefix on first use.
set -euo pipefail

: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/lanternfield/wineprefix}"
export WINEPREFIX
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG="${WINEDEBUG:--all}"

if [[ ! -f "$WINEPREFIX/.ltf-ready" ]]; then
  mkdir -p "$WINEPREFIX"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f "$WINEPREFIX/.ltf-ready" ]]; then
    wineboot -i >/dev/null 2>&1 || true
    # Without a window manager (bare Xvfb) a managed window's destroy waits 2 s for one.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    # A crash prints its backtrace and ends the process, instead of a dialog that waits for ever.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ltf-ready"
  fi
  exec 9>&-
fi

exec wine "$@"
