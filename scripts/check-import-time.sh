#!/bin/bash
# How long a 100,000-triangle OBJ takes to come in, as the user waits for it: writes the
# benchmark's wavy 224 x 224 grid (100,352 triangles), imports it with
# `tolbex-cli shape import --max-polygons 32767` (Assimp in its child process, meshoptimizer
# down to the shape limit, the shape and its MAT written) RUNS times, and prints each run's wall
# time and processor time (this process and its children), then the median wall time against
# the 1 s target. The first run warms the caches and is not counted. A busy machine stretches
# the wall time; the processor time says how much of it was work.
#
#   scripts/check-import-time.sh [TOLBEX_CLI] [RUNS]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=$(readlink -f "${1:-$here/../build/release/tolbex-cli}")
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
awk 'BEGIN {
    n = 224
    for (y = 0; y <= n; y++) for (x = 0; x <= n; x++) printf "v %d %d %d\n", x, y, (x * 7 + y * 3) % 11
    for (y = 0; y < n; y++) for (x = 0; x < n; x++) {
        a = y * (n + 1) + x + 1; b = a + 1; c = a + n + 2; d = a + n + 1
        printf "f %d %d %d\nf %d %d %d\n", a, b, c, a, c, d
    }
}' >grid.obj
import() {
    rm -f grid.shp grid.mat
    "$cli" shape import grid.obj grid.shp --max-polygons 32767 >out.txt
}
import
walls=()
TIMEFORMAT='%R %U %S'
for i in $(seq "$runs"); do
    t=$( { time import; } 2>&1 )
    read -r wall user sys <<<"$t"
    cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')
    echo "run $i: ${wall} s wall, ${cpu} s processor"
    walls+=("$wall")
done
head -2 out.txt
median=$(printf '%s\n' "${walls[@]}" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }')
verdict=$(awk -v m="$median" 'BEGIN { print (m < 1.0) ? "under" : "over" }')
echo "median: ${median} s wall, ${verdict} the 1 s target (load $(cut -d' ' -f1-3 /proc/loadavg))"
