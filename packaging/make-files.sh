#!/bin/sh
# The installed files that the programs make themselves, so that they never drift from them:
# the manual pages from the programs' own option tables, tolbex-cli's bash completion from its
# command table, and the icon, a sphere drawn by tolbex-cli's software renderer over a
# transparent background, in the sizes of the icon theme's hicolor folders.
#
#   packaging/make-files.sh OUTDIR TOLBEX TOLBEX_CLI
set -eu
out=$1 tolbex=$2 cli=$3
ICON_SIZES="16 22 24 32 48 64 128 256"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/man" "$out/icons"
# The programs keep their own working files out of the build tree.
export TOLBEX_LOCK_DIR="$work" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config"
"$tolbex" --man-page >"$work/tolbex.1"
"$cli" --man-page >"$work/tolbex-cli.1"
# Compressed without a name or time stamp: the same pages give the same bytes.
gzip -9n -c "$work/tolbex.1" >"$out/man/tolbex.1.gz"
gzip -9n -c "$work/tolbex-cli.1" >"$out/man/tolbex-cli.1.gz"
"$cli" --bash-completion >"$out/tolbex-cli.bash"
"$cli" shape sphere 20000 20000 20000 "$work/ICON.SHP" >/dev/null
for size in $ICON_SIZES; do
    "$cli" shape render "$work/ICON.SHP" "$out/icons/tolbex-$size.png" --size "${size}x$size" --transparent \
        --dummy-colour 230,140,40 >/dev/null
done
