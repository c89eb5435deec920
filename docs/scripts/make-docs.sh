#!/bin/sh
# Makes the guide's pictures: sample files from tolbex-cli, then each step's headless script
# (NN-name.txt, in name order) run by the editor with the software renderer, which draws the
# same pixels on every machine. The PNG files the scripts write go to OUTDIR.
#
#   docs/scripts/make-docs.sh OUTDIR TOLBEX TOLBEX_CLI
#
# The steps run in one fixed folder, /tmp/tolbex-guide, because the editor shows the folder it
# works in (the file selector, the World Editor's title): a folder named differently at each
# run would change the pictures. A lock keeps two runs from sharing it.
#
# A script's lines "#ini: KEY=VALUE" are the tolbex.ini of its run, and a line "#picture: NAME"
# draws the stone-block texture (make-texture.py) as NAME before it runs. Files a step saves are
# there for the steps after it.
set -eu

if [ $# -ne 3 ]; then
    echo "usage: $0 OUTDIR TOLBEX TOLBEX_CLI" >&2
    exit 2
fi
scripts=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
tolbex=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
cli=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
work=/tmp/tolbex-guide

exec 9>"$work.lock"
flock 9
rm -rf "$work" "$work.state"
mkdir -p "$work/images"
cd "$work"

# ---- sample files ----------------------------------------------------------------------
"$cli" shape sphere 4000 5000 4000 BALL.SHP >/dev/null
"$cli" shape sphere 3000 3000 3000 ROCK.SHP >/dev/null
"$cli" shape sphere 1500 6000 1500 --random TOWER.SHP >/dev/null

# ---- the steps -------------------------------------------------------------------------
for script in "$scripts"/[0-9][0-9]-*.txt; do
    name=$(basename "$script" .txt)
    sed -n 's/^#ini: //p' "$script" >tolbex.ini
    for picture in $(sed -n 's/^#picture: //p' "$script"); do
        python3 "$scripts/make-texture.py" "$picture" 128
    done
    if ! TOLBEX_LOCK_DIR="$work" XDG_STATE_HOME="$work.state" "$tolbex" --headless --renderer software --script "$script" \
        --log "$name.log" --max-frames 20000; then
        echo "$0: step $name failed; its log:" >&2
        cat "$name.log" >&2
        exit 1
    fi
    # A box the script does not expect ("#expect-box: TITLE") means the step did not go as
    # the guide tells it.
    sed -n 's/^.*MSGBOX "\([^"]*\)".*$/\1/p' "$name.log" | while read -r title; do
        if ! grep -qxF "#expect-box: $title" "$script"; then
            echo "$0: step $name showed an unexpected box:" >&2
            grep MSGBOX "$name.log" >&2
            exit 1
        fi
    done
done

# ---- the command-line tool's own picture -----------------------------------------------
"$cli" shape render BALL.SHP images/cli-render.png --size 320x200 --materials GUIDE.MAT >/dev/null
# The runtime world the last step saved, as the game's display shows it, from the south.
"$cli" world render TOWN.WLD images/runtime-world.png --camera 40000,22000,-22000,4600,0 --size 320x200 \
    --materials GUIDE.MAT >/dev/null

# Pictures no step makes any more leave OUTDIR, so that it holds exactly what the guide shows.
for old in "$out"/*.png; do
    [ -e "$old" ] || continue
    [ -e "images/$(basename "$old")" ] || rm -f "$old"
done
# Copied only when changed, so that an unchanged picture keeps its file.
for new in images/*.png; do
    cmp -s "$new" "$out/$(basename "$new")" || cp "$new" "$out/"
done
echo "$(ls images | wc -l) pictures in $out"
