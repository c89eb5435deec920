#!/bin/sh
# `make package-check`: the Debian package as a user gets it. Unpacked into a scratch root:
# its file list, its dependencies, the programs from their installed place, the manual pages,
# the menu entry, and the entry's Exec line starting the editor with a shape while a second
# start hands it another file.
#
#   scripts/package-check.sh BUILD_TREE
set -u
tree=$1
src=$(cd "$(dirname "$0")/.." && pwd)
deb=$(ls "$tree"/tolbex_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "package-check: no tolbex_*.deb in $tree (make package)" >&2; exit 1; }
work=$(mktemp -d)
first=""
cleanup() {
    [ -n "$first" ] && kill "$first" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() {
    echo "package-check: $*" >&2
    failed=1
}

# What the package holds, against what it must hold.
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' | grep -v '/$' | sort >"$work/held"
{
    printf '%s\n' /usr/bin/tolbex /usr/bin/tolbex-cli /usr/share/applications/tolbex.desktop \
        /usr/share/mime/packages/tolbex.xml /usr/share/man/man1/tolbex.1.gz /usr/share/man/man1/tolbex-cli.1.gz \
        /usr/share/bash-completion/completions/tolbex-cli /usr/share/doc/tolbex/README.md \
        /usr/share/doc/tolbex/guide.md
    for size in 16 22 24 32 48 64 128 256; do echo "/usr/share/icons/hicolor/${size}x$size/apps/tolbex.png"; done
    for image in "$src"/docs/images/*; do echo "/usr/share/doc/tolbex/images/$(basename "$image")"; done
} | sort >"$work/wanted"
diff -u "$work/wanted" "$work/held" >"$work/diff" || fail "the package's files differ from the list: $(cat "$work/diff")"
depends=$(dpkg-deb -f "$deb" Depends)
case "$depends" in
*libsdl2*) ;;
*) fail "Depends lacks SDL2 (shlibdeps): $depends" ;;
esac

root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x failed"
bin="$root/usr/bin"
export TOLBEX_LOCK_DIR="$work" XDG_STATE_HOME="$work/state" XDG_CONFIG_HOME="$work/config" TOLBEX_GL=off
version=$("$bin/tolbex-cli" --version) || fail "tolbex-cli --version failed"
[ "$version" = "tolbex-cli $(dpkg-deb -f "$deb" Version)" ] || fail "tolbex-cli says \"$version\""
cd "$work" || exit 1
printf 'wait 2\ndump launcher.json\n' >run.txt
"$bin/tolbex" --headless --script run.txt || fail "tolbex --headless --script failed"
grep -q '"0x1015"' launcher.json 2>/dev/null || fail "the headless run showed no launcher"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    out=$(MANWIDTH=100 MANPAGER=cat man -l "$page" 2>&1) || fail "man -l $page failed"
    case "$out" in *warning*) fail "man -l $page: $out" ;; esac
done
desktop-file-validate "$root/usr/share/applications/tolbex.desktop" || fail "desktop-file-validate"

# The menu entry's Exec line, with a shape for %f, as the desktop runs it (headless here;
# the real window is checked by hand, see the README), then a second start with another file.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/tolbex.desktop")
"$bin/tolbex-cli" shape sphere 300 200 100 BALL.SHP >/dev/null
"$bin/tolbex-cli" shape sphere 100 300 100 PEAR.SHP >/dev/null
printf 'waitfor PEAR.SHP 30\ndump pear.json\n' >handoff.txt
command=$(echo "$exec_line" | sed "s|%f|$work/BALL.SHP|")
PATH="$bin:$PATH" TOLBEX_HEADLESS=1 sh -c "exec $command --script handoff.txt" >exec.log 2>&1 &
first=$!
tries=0
while [ ! -S "$work/Vostrane-Tolbex.sock" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
PATH="$bin:$PATH" TOLBEX_HEADLESS=1 tolbex PEAR.SHP || fail "the second start was not taken"
wait "$first" || fail "the entry's Exec line ($exec_line) ended with $?: $(cat exec.log)"
first=""
grep -q '"PEAR.SHP"' pear.json 2>/dev/null || fail "the handed file is not open"

[ $failed -eq 0 ] && echo "package-check: $(basename "$deb") is whole"
exit $failed
