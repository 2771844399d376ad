#!/usr/bin/env bash
# Sourced: gives the caller a display. Starts Xvfb on a free display number when DISPLAY is unset and
# stops it when the caller exits.
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  WDL_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trap 'kill $WDL_XVFB_PID 2>/dev/null || true' EXIT
fi
