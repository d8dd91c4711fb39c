#!/usr/bin/env bash
# Draws the program's window icon (res/qvk.ico, 32 x 32 and 16 x 16) with ImageMagick, so the
# picture is ours and a rerun gives the same design.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
convert -size 32x32 xc:none -fill '#1f4e8c' -draw 'roundrectangle 1,1 30,30 6,6' \
    -fill '#ffcc00' -draw 'circle 16,16 16,7' -fill '#1f4e8c' -draw 'circle 16,16 16,11' \
    -fill '#ffcc00' -draw 'polygon 19,19 27,27 24,29 17,21' \
    -define icon:auto-resize=32,16 "$root/res/qvk.ico"
