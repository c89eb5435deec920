#!/bin/sh
# The layer check on small trees made here: each fault it exists for is found, and a clean tree
# passes.
#
#   tests/check-layers-test.sh
set -u
check=$(cd "$(dirname "$0")" && pwd)/check-layers.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# tree NAME TABLE: a fresh tree with three layers and a table.
tree() {
    dir=$work/$1
    mkdir -p "$dir/src/base" "$dir/src/world" "$dir/src/render" "$dir/tests" "$dir/tools"
    printf '%b' "$2" >"$dir/tests/layers.txt"
    echo '#include "base/bytes.h"' >"$dir/src/world/w.cpp"
    echo '#include "base/bytes.h"' >"$dir/src/render/r.cpp"
    echo '#include "world/w.h"' >>"$dir/src/render/r.cpp"
}

# expect NAME STATUS TEXT: the check on tree NAME ends with STATUS and says TEXT ("" for none).
expect() {
    said=$(sh "$check" "$work/$1" 2>&1)
    status=$?
    if [ "$status" -ne "$2" ]; then
        echo "check-layers-test: $1: status $status, expected $2: $said" >&2
        failures=$((failures + 1))
    elif [ -n "$3" ] && ! printf '%s' "$said" | grep -qF -- "$3"; then
        echo "check-layers-test: $1: expected \"$3\" in: $said" >&2
        failures=$((failures + 1))
    fi
}

good='base -\nworld base\nrender base world\ntools base\n'

tree clean "$good"
expect clean 0 "every include looks down"

tree up "$good"
echo '#include "render/draw.h"' >>"$work/up/src/world/w.cpp"
expect up 1 "src/world/w.cpp includes render/draw.h, above world/"

# Only the one header a row names, not its folder.
tree header 'base -\nworld base\nrender base world/w.h\ntools base\n'
echo '#include "world/other.h"' >>"$work/header/src/render/r.cpp"
expect header 1 "src/render/r.cpp includes world/other.h"

tree header_ok 'base -\nworld base\nrender base world/w.h\ntools base\n'
expect header_ok 0 ""

tree order 'base -\nrender base world\nworld base\ntools base\n'
expect order 1 "the row of render names world, which is not a layer below it"

tree norow "$good"
mkdir -p "$work/norow/src/scene"
expect norow 1 "scene has no row"

# Two folders that include each other are a loop even where the table is bypassed.
tree loop "${good}pending src/world/w.cpp render\n"
echo '#include "render/r.h"' >>"$work/loop/src/world/w.cpp"
expect loop 1 "folders include each other"

tree stale "${good}pending src/world/w.cpp render\n"
expect stale 1 "src/world/w.cpp no longer includes from render/"

tree readme "$good"
printf '<!-- layers:begin -->\n```\nbase -\nworld base\nrender base\ntools base\n```\n<!-- layers:end -->\n' >"$work/readme/README.md"
expect readme 1 "the README's layer table differs"

tree readme_ok "$good"
printf 'Text.\n<!-- layers:begin -->\n```\nbase        -\nworld   base\nrender base world\ntools base\n```\n<!-- layers:end -->\n' >"$work/readme_ok/README.md"
expect readme_ok 0 ""

[ "$failures" -eq 0 ] && echo "check-layers-test: every case"
[ "$failures" -eq 0 ]
