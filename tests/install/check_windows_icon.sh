#!/usr/bin/env bash
# The Windows programs' icon file, as qv58163_make_icons --ico writes it for their cross build:
# the five sizes Windows picks from, each the picture the desktop icons show.
#   check_windows_icon.sh MAKE_ICONS SCRATCH_DIR
set -euo pipefail
makeIcons="$1"
scratch="$2"
rm -rf "$scratch"
mkdir -p "$scratch"
. "$(dirname "$0")/../../scripts/lib.sh"
failPrefix="FAIL: "

QT_QPA_PLATFORM=offscreen "$makeIcons" --ico "$scratch/qv58163.ico"
QT_QPA_PLATFORM=offscreen "$makeIcons" "$scratch"
sizes="$(identify -format '%wx%h ' "$scratch/qv58163.ico")"
[ "$sizes" = "16x16 24x24 32x32 48x48 256x256 " ] || fail "the icon's sizes: $sizes"
# The bitmaps' rows, colours and transparency against the PNGs of the same drawing (their pixels
# may differ by one step where the drawing's premultiplied colours are divided out).
for image in 0:16 2:32; do
    differing="$(compare -metric AE -fuzz 1% "$scratch/qv58163.ico[${image%%:*}]" \
        "$scratch/${image##*:}x${image##*:}.png" null: 2>&1)" || true
    [ "$differing" = 0 ] || fail "the ${image##*:}-pixel image differs from the PNG in $differing pixels"
done
echo "the Windows icon has its five sizes, each the desktop icon's picture"
