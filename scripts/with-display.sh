#!/usr/bin/env bash
# Runs a command with an X display for Wine's windows: the one at hand, or a private X server.
set -euo pipefail
if [[ -n ${DISPLAY:-} ]]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
