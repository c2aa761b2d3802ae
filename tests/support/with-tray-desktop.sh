#!/usr/bin/env bash
# Runs a command on a private X display (Xvfb) with a notification area (trayer), for the tray
# icon tests. The display and the notification area are stopped when the command ends.
set -u
display=""
for n in $(seq 91 140); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $tray $xvfb 2>/dev/null; wait 2>/dev/null' EXIT
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
export DISPLAY="$display"
unset WAYLAND_DISPLAY
trayer --edge top --align right --widthtype request --height 32 --SetDockType true >/dev/null 2>&1 &
tray=$!
QT_QPA_PLATFORM=xcb "$@"
