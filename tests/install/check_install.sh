#!/usr/bin/env bash
# `cmake --install` of the build into a scratch root: every file lands where a Linux desktop looks
# for it, and the desktop entry and AppStream metainfo pass their validators.
#   check_install.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build="$1"
root="$2/root"
rm -rf "$2"
mkdir -p "$2"
. "$(dirname "$0")/../../scripts/lib.sh"
failPrefix="FAIL: "

DESTDIR="$root" cmake --install "$build" --prefix /usr >"$2/install.log"

id=org.qv58163.TestPanel
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
for f in usr/bin/qv58163 "usr/lib/$multiarch/libQV58163.so" "usr/share/applications/$id.desktop" \
    "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/16x16/apps/$id.png" \
    "usr/share/icons/hicolor/32x32/apps/$id.png" "usr/share/icons/hicolor/scalable/apps/$id.svg"; do
    [ -f "$root/$f" ] || fail "$f is not installed"
done
[ -x "$root/usr/bin/qv58163" ] || fail "usr/bin/qv58163 is not executable"

desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli"

# The entry starts the installed program under its icon's name.
grep -qx "Exec=qv58163" "$root/usr/share/applications/$id.desktop" || fail "Exec is not qv58163"
grep -qx "Icon=$id" "$root/usr/share/applications/$id.desktop" || fail "Icon is not $id"

# Each PNG is the size its directory claims, and shows the icon's yellow trace on black; the
# Windows programs' icon file has five sizes, its bitmaps the same pictures (to a rounding step).
ico="$2/qv58163.ico"
QT_QPA_PLATFORM=offscreen "$build/bin/qv58163_make_icons" --ico "$ico"
[ "$(identify -format '%w ' "$ico")" = "16 24 32 48 256 " ] || fail "$ico: sizes $(identify -format '%w ' "$ico")"
for size in 16 32; do
    png="$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
    [ "$(compare -metric AE -fuzz 1% "${ico}[$((size / 8 - 2))]" "$png" null: 2>&1 || true)" = 0 ] ||
        fail "the $size-pixel image of $ico is not $png"
    [ "$(identify -format '%m %wx%h' "$png")" = "PNG ${size}x${size}" ] || fail "$png is not ${size}x${size}"
    yellow="$(convert "$png" -alpha off -fuzz 25% -fill black +opaque '#ffff00' -fill white -opaque '#ffff00' \
        -format '%[fx:round(mean*w*h)]' info:)"
    black="$(convert "$png" -alpha off -fuzz 10% -fill white +opaque '#000000' -fill black -opaque '#000000' -negate \
        -format '%[fx:round(mean*w*h)]' info:)"
    [ "$yellow" -ge $((size * size / 20)) ] || fail "$png has $yellow yellow pixels"
    [ "$black" -ge $((size * size / 5)) ] || fail "$png has $black black pixels"
done
svg="$root/usr/share/icons/hicolor/scalable/apps/$id.svg"
grep -q '<svg' "$svg" || fail "$svg is no SVG"
grep -q 'viewBox="0 0 32 32"' "$svg" || fail "$svg lacks the drawing's 32x32 view box"
grep -qi 'stroke="#ffff00"' "$svg" || fail "$svg lacks the yellow trace"
echo "installed files are in place and valid"
