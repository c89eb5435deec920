#!/bin/sh
# Each folder of src/ (and tools/) includes only from the folders it may look down to: a call
# upward goes through a hook or a function table instead. Prints every include that looks up.
#
#   tests/check-layers.sh SOURCE_ROOT
set -u
root=${1:-.}

# What each folder may include, besides itself. The kernel and the platform form the base and
# may use each other; everything above may use the base.
allowed() {
    base="kernel platform"
    case "$1" in
    kernel | platform) echo "$base" ;;
    toolkit) echo "$base" ;;
    palette) echo "$base toolkit" ;;
    materials) echo "$base toolkit palette" ;;
    shapes) echo "$base toolkit palette materials" ;;
    render) echo "$base toolkit palette materials shapes" ;;
    # The palette's and the materials' panels: over the toolkit and those models.
    panels) echo "$base toolkit palette materials" ;;
    world) echo "$base toolkit palette materials shapes render" ;;
    frontend) echo "$base toolkit palette materials shapes render world panels" ;;
    shapeedit) echo "$base toolkit palette materials shapes render world panels frontend" ;;
    worldedit) echo "$base toolkit palette materials shapes render world panels frontend shapeedit" ;;
    # The command-line tool never reaches the windows.
    tools) echo "$base palette materials shapes render world tools" ;;
    *) echo "" ;;
    esac
}

bad=0
for dir in kernel platform toolkit palette materials shapes render world panels frontend shapeedit worldedit tools; do
    if [ "$dir" = tools ]; then path="$root/tools"; else path="$root/src/$dir"; fi
    [ -d "$path" ] || continue
    ok=" $dir $(allowed "$dir") "
    # Lines as FILE:LINE:#include "FOLDER/...
    for hit in $(grep -rnoE '#include "[a-z]+/' "$path" | sed 's|#include "||; s|/$||'); do
        folder=${hit##*:}
        case "$ok" in
        *" $folder "*) ;;
        *)
            echo "layers: ${hit%:*} includes from $folder/, above $dir/" >&2
            bad=1
            ;;
        esac
    done
done
[ "$bad" -eq 0 ] && echo "layers: every include looks down"
exit "$bad"
