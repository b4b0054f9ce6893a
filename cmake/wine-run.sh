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
    # The set-up's output goes to a log, and a failed step says so: otherwise the program would
    # just not run, with nothing on record.
    log="$WINEPREFIX/setup.log"
    step() {
      local status=0
      "$@" >>"$log" 2>&1 || status=$?
      if ((status != 0)); then
        echo "wine-run.sh: setting up $WINEPREFIX: '$*' failed with status $status; see $log" >&2
        exit "$status"
      fi
    }
    wineboot -i >>"$log" 2>&1 || true
    # Without a window manager (bare Xvfb) a managed window's destroy waits 2 s for one.
    step wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
    # A crash prints its backtrace and ends the process, instead of a dialog that waits for ever.
    step wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
    step wineserver -w
    touch "$WINEPREFIX/.ltf-ready"
  fi
  exec 9>&-
fi

exec wine "$@"
