#!/bin/sh
# The guide's steps replayed without touching docs/: every script must run to its end, every
# picture docs/guide.md links must be made, and every picture made or kept under docs/images/
# must be linked from the guide.
#
#   docs/scripts/check-docs.sh TOLBEX TOLBEX_CLI
set -eu

if [ $# -ne 2 ]; then
    echo "usage: $0 TOLBEX TOLBEX_CLI" >&2
    exit 2
fi
docs=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

"$docs/scripts/make-docs.sh" "$out" "$1" "$2"

linked=$(grep -o 'images/[A-Za-z0-9_.-]*\.png' "$docs/guide.md" | sort -u)
status=0
for image in $linked; do
    if [ ! -f "$out/$(basename "$image")" ]; then
        echo "$0: the guide links $image, which no step makes" >&2
        status=1
    fi
done
for made in "$out"/*.png "$docs"/images/*; do
    [ -e "$made" ] || continue
    if ! echo "$linked" | grep -qxF "images/$(basename "$made")"; then
        echo "$0: $made is not linked from the guide" >&2
        status=1
    fi
done
[ $status -eq 0 ] && echo "the guide's $(echo "$linked" | wc -l) pictures were made"
exit $status
