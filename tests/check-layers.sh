#!/bin/sh
# Includes only look down the layers of tests/layers.txt: each folder of src/ (and src/main.cpp,
# tools/, bench/) includes from itself and from what its row names, nothing else; a call upward
# goes through a hook or a function table instead. Also checked: the table itself is layered
# (a row names only rows above it), every folder has a row, no two folders include each other
# through any chain, and the README's architecture section shows the same table.
#
# A line "pending FILE FOLDER" of the table lets one file still include from a folder it should
# not while work on it is under way; such a line must go as soon as the file no longer does.
#
#   tests/check-layers.sh SOURCE_ROOT [TABLE]
#
# Prints every include that looks up and every other fault; exit status 1 when there is one.
set -u
root=${1:-.}
table=${2:-$root/tests/layers.txt}
[ -f "$table" ] || { echo "layers: no table $table" >&2; exit 1; }

# Every quoted include with a folder, as "LAYER FILE INCLUDED-PATH".
includes() {
    for path in "$root"/src/* "$root/tools" "$root/bench"; do
        [ -e "$path" ] || continue
        layer=${path##*/}
        if [ -d "$path" ]; then
            grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z0-9_]+/[^"]+"' "$path" --include='*.cpp' --include='*.h'
        else
            grep -noE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z0-9_]+/[^"]+"' "$path" | sed "s|^|$path:|"
        fi | sed "s|^$root/||; s|:[0-9]*:.*\"\\(.*\\)\"\$| \\1|; s|^|$layer |"
    done
}

# The layers that exist: every folder of src/, src/main.cpp, tools/ and bench/.
present() {
    for path in "$root"/src/* "$root/tools" "$root/bench"; do
        [ -d "$path" ] || [ "${path##*/}" = main.cpp ] || continue
        [ -e "$path" ] && echo "${path##*/}"
    done
}

out=$(mktemp)
edges=$(mktemp)
trap 'rm -f "$out" "$edges"' EXIT

{ present | sed 's/^/present /'; includes | sed 's/^/include /'; } | awk -v table="$table" -v edges="$edges" '
BEGIN {
    bad = 0
    while ((getline line < table) > 0) {
        sub(/#.*/, "", line)
        n = split(line, w, /[ \t]+/)
        first = (w[1] == "") ? 2 : 1
        if (n < first) continue
        layer = w[first]
        if (layer == "pending") { pending[w[first + 1], w[first + 2]] = 1; continue }
        if (layer in row) { printf "layers: %s has two rows in the table\n", layer; bad = 1 }
        row[layer] = ++rows
        for (i = first + 1; i <= n; i++) {
            if (w[i] == "" || w[i] == "-") continue
            below = w[i]; sub(/\/.*/, "", below)
            if (!(below in row) || below == layer)
                { printf "layers: the row of %s names %s, which is not a layer below it\n", layer, w[i]; bad = 1 }
            may[layer, w[i]] = 1
        }
    }
}
$1 == "present" {
    if (!($2 in row)) { printf "layers: %s has no row in %s\n", $2, table; bad = 1 }
    next
}
$1 == "include" {
    layer = $2; file = $3; inc = $4
    folder = inc; sub(/\/.*/, "", folder)
    if (folder == layer) next
    if (!(folder in row) && !(layer in row)) next
    print layer, folder > edges
    if ((file, folder) in pending) { used[file, folder] = 1; next }
    if ((layer, folder) in may || (layer, inc) in may) next
    printf "layers: %s includes %s, above %s/ or beside it\n", file, inc, layer
    bad = 1
}
END {
    for (k in pending)
        if (!(k in used)) {
            split(k, p, SUBSEP)
            printf "layers: %s no longer includes from %s/: take its pending line out of the table\n", p[1], p[2]
            bad = 1
        }
    exit bad
}
' >"$out"
status=$?

# No chain of includes leads from a folder back to itself, pending lines included (tsort names
# the folders of a loop).
if [ -s "$edges" ]; then
    # tsort wants "before after": a folder comes after what it includes.
    loop=$(sort -u "$edges" | awk '{ print $2, $1 }' | tsort 2>&1 >/dev/null)
    if [ -n "$loop" ]; then
        echo "layers: folders include each other: $loop" | tr '\n' ' ' >>"$out"
        echo >>"$out"
        status=1
    fi
fi

# The README shows the same table between its markers.
readme=$root/README.md
if [ -f "$readme" ]; then
    shown=$(sed -n '/<!-- layers:begin -->/,/<!-- layers:end -->/p' "$readme" | grep -v '^<!--\|^```' | awk 'NF { $1 = $1; print }')
    kept=$(sed 's/#.*//' "$table" | awk 'NF && $1 != "pending" { $1 = $1; print }')
    if [ "$shown" != "$kept" ]; then
        echo "layers: the README's layer table differs from $table (copy the table's rows between <!-- layers:begin --> and <!-- layers:end -->)" >>"$out"
        status=1
    fi
fi

if [ "$status" -ne 0 ]; then
    cat "$out" >&2
    exit 1
fi
echo "layers: every include looks down"
exit 0
