#!/bin/sh
# An idle editor must not spend the machine: the Shape Editor with a loaded shape, in a real
# window under Xvfb, left alone for 10 s, measured from its CPU time in /proc (user and system
# time of every thread). Each screen size runs its own Xvfb; the editor's window fills it in
# the Window screen. Fails when any size uses 2 % of a core or more.
#
#   scripts/check-idle-cpu.sh TOLBEX TOLBEX_CLI [DISPLAY_NUMBER [WxH ...]]
#
# Default sizes: 800x600, 1920x1080 and 3840x2160; default display :77.
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 TOLBEX TOLBEX_CLI [DISPLAY_NUMBER [WxH ...]]" >&2
    exit 2
fi
tolbex=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
cli=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
number=${3:-77}
shift 2
[ $# -gt 0 ] && shift
sizes=${*:-"800x600 1920x1080 3840x2160"}
limit=2      # per cent of one core
seconds=10

work=$(mktemp -d)
xvfb=""
editor=""
# The editor asks before it closes: it is stopped outright (its recovery files go with the
# scratch folder).
cleanup() {
    [ -n "$editor" ] && kill -KILL "$editor" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$cli" shape sphere 4000 5000 4000 BALL.SHP >/dev/null
printf 'screen=window\nuiscale=1\n' >tolbex.ini
hz=$(getconf CLK_TCK)

# utime + stime of a process, in clock ticks (fields 14 and 15 of /proc/PID/stat, counted
# after the command name, which may hold spaces).
ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

status=0
for size in $sizes; do
    Xvfb ":$number" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 2
    DISPLAY=":$number" TOLBEX_LOCK_DIR="$work" XDG_STATE_HOME="$work/state" "$tolbex" --renderer software \
        --log "$work/log.txt" BALL.SHP &
    editor=$!
    # Start-up and the first frames are not idle time (a debug build with its sanitizers draws
    # a 3840 x 2160 frame in about a second).
    sleep 12
    if ! kill -0 "$editor" 2>/dev/null; then
        echo "$size: the editor ended early; its log:" >&2
        cat "$work/log.txt" >&2
        exit 1
    fi
    before=$(ticks "$editor")
    sleep "$seconds"
    after=$(ticks "$editor")
    # Per cent of a core: ticks / (hz * seconds) * 100, to a tenth.
    tenths=$(( (after - before) * 1000 / (hz * seconds) ))
    verdict=ok
    if [ "$tenths" -ge $((limit * 10)) ]; then
        verdict="TOO MUCH (limit $limit %)"
        status=1
    fi
    printf '%s: %d.%d %% of a core over %d s idle, %s\n' "$size" $((tenths / 10)) $((tenths % 10)) "$seconds" "$verdict"
    kill -KILL "$editor" 2>/dev/null || true
    wait "$editor" 2>/dev/null || true
    editor=""
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    xvfb=""
done
exit $status
