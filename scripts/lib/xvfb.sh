# Sourced: gives the caller a display, starting a private Xvfb when there is none.
# The Xvfb started here is ended, by its pid, when the calling script exits.

ltf_ensure_display() {
  if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local number
  for number in $(seq 90 140); do
    if [[ ! -e "/tmp/.X${number}-lock" && ! -e "/tmp/.X11-unix/X${number}" ]]; then
      break
    fi
  done
  Xvfb ":${number}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  LTF_XVFB_PID=$!
  trap 'kill "$LTF_XVFB_PID" 2>/dev/null || true' EXIT
  export DISPLAY=":${number}"
  local tries
  for tries in $(seq 1 100); do
    if [[ -e "/tmp/.X11-unix/X${number}" ]]; then
      return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not start on :${number}" >&2
  return 1
}
