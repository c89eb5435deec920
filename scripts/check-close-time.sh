#!/bin/bash
# How long the window stays after "Yes" to the close question, in a real window: starts the
# editor (the Shape Editor, or the World Editor with --world) on $DISPLAY, asks the window to
# close as a window manager's close button does, answers Yes with Enter and prints the
# milliseconds from that key to the window's end and to the program's end. Needs xdotool,
# xwininfo (x11-utils), python3 and the X core fonts SDL's question box is drawn with
# (xfonts-base). Run it a few times: the first start warms the caches.
#
#   DISPLAY=:N scripts/check-close-time.sh [--world] [TOLBEX_BINARY] [-- ARGS...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
button=377   # the launcher's "Shape Editor", in thousandths of the window's height
if [ "${1:-}" = --world ]; then button=449; shift; fi
bin=$(readlink -f "${1:-$here/../build/release/tolbex}")
[ $# -gt 0 ] && shift
[ "${1:-}" = -- ] && shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lock" "$work/state"
cd "$work"
TOLBEX_LOCK_DIR=$work/lock XDG_STATE_HOME=$work/state "$bin" "$@" --log "$work/run.log" >"$work/out.log" 2>&1 &
pid=$!
find_window() { xwininfo -root -tree | grep "\"$1\"" | awk '{print $1}' | head -1; }
win=
for _ in $(seq 100); do win=$(find_window Tolbex); [ -n "$win" ] && break; sleep 0.1; done
[ -n "$win" ] || { echo "check-close-time: no window" >&2; kill "$pid"; exit 1; }
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove $((X + WIDTH * 513 / 1000)) $((Y + HEIGHT * button / 1000)) click 1
sleep 3
python3 "$here/x11-close.py" "$win"
box=
for _ in $(seq 400); do box=$(find_window Warning); [ -n "$box" ] && break; sleep 0.05; done
[ -n "$box" ] || { echo "check-close-time: no question box (is xfonts-base installed?)" >&2; kill "$pid"; exit 1; }
sleep 0.5
xdotool windowfocus "$box"
t0=$(date +%s%N)
xdotool key Return
while xwininfo -id "$win" >/dev/null 2>&1; do sleep 0.002; done
t1=$(date +%s%N)
wait "$pid" || true   # the exit code is the program's own (a sanitised build may report leaks)
t2=$(date +%s%N)
echo "window gone $(( (t1 - t0) / 1000000 )) ms after Yes, program ended after $(( (t2 - t0) / 1000000 )) ms"
