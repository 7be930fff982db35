#!/bin/sh
# Runs a command under a headless Wayland compositor of its own (weston's headless backend), with
# WAYLAND_DISPLAY naming it and no X display, as a desktop user of a Wayland session has it. It
# draws with pixman and allows weston-screenshooter (--debug): with its GL renderer, a shot hangs.
# The screen round the windows is plain black, with no panel, and windows come and go without
# fading, so that a shot of it shows the windows' own pixels apart from the desktop's.
set -eu
runtime=$(mktemp -d)
export XDG_RUNTIME_DIR="$runtime"
printf '%s\n' '[shell]' background-color=0xff000000 panel-position=none animation=none \
  close-animation=none startup-animation=none focus-animation=none >"$runtime/weston.ini"
weston --backend=headless-backend.so --use-pixman --debug --width=1024 --height=768 \
  --socket=bi-wayland --idle-time=0 \
  --config="$runtime/weston.ini" \
  >"$runtime/weston.log" 2>&1 &
weston=$!
trap 'kill "$weston" 2>/dev/null || true; wait "$weston" 2>/dev/null || true; rm -rf "$runtime"' \
  EXIT INT TERM
tries=0
until [ -S "$runtime/bi-wayland" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 200 ]; then
    cat "$runtime/weston.log" >&2
    echo "$0: weston did not start" >&2
    exit 1
  fi
  sleep 0.05
done
unset DISPLAY
status=0
WAYLAND_DISPLAY=bi-wayland "$@" || status=$?
exit "$status"
