#!/usr/bin/env bash
# Builds the static Qt the Windows program links against, once, into a cache outside the tree:
#   scripts/windows-qt.sh [x64|x86] [--cached]
# prints the Qt prefix on its last line. With --cached it builds nothing: it fails (status 1) when
# the cache has no such Qt. The source is Debian's own qt6-base package of the version
# installed here (so the cross-built Qt and the host tools moc/rcc/uic from /usr agree), fetched
# through a private apt state that leaves the system's sources and package lists untouched.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
arch="${1:-x64}"
mingwArch="$(mingwArchOf "$arch")" || { echo "usage: $0 [x64|x86]" >&2 && exit 2; }

# What the cross build needs; the Linux build's own packages come from install-deps.sh.
installMissing qt6-base-dev qt6-base-dev-tools cmake ninja-build perl dpkg-dev ca-certificates \
    "g++-mingw-w64-${mingwArch//_/-}-posix" "gcc-mingw-w64-${mingwArch//_/-}-posix"

qtVersion="$(dpkg-query -W -f='${Version}' qt6-base-dev)" # e.g. 6.4.2+dfsg-10
upstream="${qtVersion%%+*}"
upstream="${upstream%%-*}"
prefix="$cacheDir/qt-$upstream-windows-$arch"
if [ -f "$prefix/.complete" ] && [ "$(cat "$prefix/.complete")" = "$qtVersion" ]; then
    echo "$prefix"
    exit 0
fi
[ "${2:-}" != --cached ] || exit 1

work="$cacheDir/work-$arch"
rm -rf "$work" "$prefix"
log="$cacheDir/qt-$upstream-windows-$arch.log"
echo "Building Qt $qtVersion for Windows $arch into $prefix (log: $log)" >&2
start=$(date +%s)
# Runs a step with its output in the log; on failure shows the end of the log.
logged() {
    "$@" >>"$log" 2>&1 || {
        echo "Building Qt failed at: $*; the end of $log:" >&2
        tail -n 40 "$log" >&2
        exit 1
    }
}

srcDir="$(debianSource "qt6-base=$qtVersion" "$work" "$log")" || logged false "fetching the source failed"

# Core, Gui, Widgets and the Windows platform plugin, statically, with Qt's bundled third-party
# libraries. Debian's repack lacks the tablet (wintab) header, hence no tablet events; the panel
# needs none of the other modules switched off here.
mkdir -p "$work/build"
cd "$work/build"
export QV58163_MINGW_ARCH="$mingwArch"
logged nice -n 10 "$srcDir/configure" -prefix "$prefix" -release -static -opensource -confirm-license \
    -qt-host-path /usr -nomake examples -nomake tests \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-doubleconversion \
    -no-feature-tabletevent -no-feature-sql -no-feature-network -no-feature-printsupport \
    -no-feature-testlib -no-feature-xml -no-feature-concurrent -no-dbus -no-icu \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
    -DQV58163_MINGW_ARCH="$mingwArch" \
    -DQT_HOST_PATH_CMAKE_DIR="$qtHostCmakeDir"
logged nice -n 10 cmake --build . --parallel "$buildJobs"
logged nice -n 10 cmake --install .
cd "$root"
echo "$qtVersion" >"$prefix/.complete"
rm -rf "$work"
echo "Qt for Windows $arch built in $(($(date +%s) - start)) s, $(du -sh "$prefix" | cut -f1) installed" | tee -a "$log" >&2
echo "$prefix"
