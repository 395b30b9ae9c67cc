#!/usr/bin/env bash
# Builds the panel and the recorder for Windows, checks them under Wine and packs them:
#   scripts/windows.sh [x64|x86]        (default x64)
# Cross-compiles with Debian's MinGW-w64 against a static Qt and a static MQTT client built once
# into lib.sh's $cacheDir (scripts/windows-qt.sh, scripts/windows-mqtt.sh), runs the Windows
# checks under Wine (x64: here, in Xvfb; x86: in an emulated machine, scripts/windows-guest.sh,
# because this machine's kernel runs no 32-bit programs) and writes
# dist/qv58163-<version>-windows-<arch>.zip.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
arch="${1:-x64}"
mingwArch="$(mingwArchOf "$arch")" || { echo "usage: $0 [x64|x86]" >&2 && exit 2; }
started=$(date +%s)

# The Linux side's packages (Xvfb, xdotool, ImageMagick, the fonts), then the cross build's own.
"$root/scripts/install-deps.sh"
# Both compilers: the simulated card is built for the other word size too.
packages=(zip googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix)
if [ "$arch" = x64 ]; then
    packages+=(wine64 fonts-wine)
fi
installMissing "${packages[@]}"

qt="$("$root/scripts/windows-qt.sh" "$arch" | tail -n1)"
mqtt="$("$root/scripts/windows-mqtt.sh" "$arch" | tail -n1)"

# The program and the simulated drivers the checks use (simulator/CMakeLists.txt), linked with the
# MinGW runtime inside (-static) so that none needs a DLL beside it, and stripped. Nothing that
# needs Linux's own tools is built.
build="$root/build-windows-$arch"
export QV58163_MINGW_ARCH="$mingwArch"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQV58163_MINGW_ARCH="$mingwArch" \
    -DCMAKE_PREFIX_PATH="$qt;$mqtt" -DCMAKE_FIND_ROOT_PATH="$qt;$mqtt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$qtHostCmakeDir" \
    -DCMAKE_EXE_LINKER_FLAGS="-static -s" -DCMAKE_SHARED_LINKER_FLAGS="-static -s" \
    -DQV58163_BUILD_TESTS=OFF -DQV58163_BUILD_BENCH=OFF -DQV58163_BUILD_PACKAGING=OFF \
    -DQV58163_BUILD_RECORDER=ON -DQV58163_RECORDER_SVG=OFF -DQV58163_RECORDER_MQTT=ON \
    -DQV58163_WINE_CHECKS=ON >/dev/null
cmake --build "$build" -j"$buildJobs"

# The names a DLL exports, one a line.
exportNames() {
    "${mingwArch}-w64-mingw32-objdump" -p "$1" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p'
}

# The driver's exports by their plain names, as the program and the maker's driver have them;
# the MinGW runtime linked in, not needed beside the program.
exports="$(exportNames "$build/bin/QV58163.dll" | sort | tr '\n' ' ')"
expected="$(sed -n 's/^QV58163_EXPORT int32_t QV58163_CALL \(QV58163_[A-Za-z_]*\)(.*/\1/p' \
    "$root/card/contract/QV58163.h" | sort | tr '\n' ' ')"
[ "$exports" = "$expected" ] || fail "QV58163.dll exports: $exports; the header declares: $expected"
for f in qv58163.exe qv58163-record.exe QV58163.dll; do
    ! "${mingwArch}-w64-mingw32-objdump" -p "$build/bin/$f" |
        grep -E 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' >&2 || fail "$f needs the MinGW runtime beside it"
done

# The 32-bit drivers with decorated names: as MinGW decorates them (QV58163_initial@0), and as a
# .def file in the manner of Microsoft's compiler names them (_QV58163_initial@0).
if [ "$arch" = x86 ]; then
    grep -qx 'QV58163_initial@0' <<<"$(exportNames "$build/bin/decorated-at/QV58163.dll")" ||
        fail "no QV58163_initial@0 in decorated-at/QV58163.dll"
    grep -qx '_QV58163_initial@0' <<<"$(exportNames "$build/bin/decorated-underscore/QV58163.dll")" ||
        fail "no _QV58163_initial@0 in decorated-underscore/QV58163.dll"
fi

# What the Linux recorder writes for the fixed inputs, for the Windows recorder to match.
linux="$root/build"
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake --preset default >/dev/null
fi
cmake --build --preset default -j"$buildJobs" --target qv58163-record QV58163 >/dev/null
rm -f "$build/bin/linux-fixed.csv"
env "${recorderFixedInputs[@]}" "$linux/bin/qv58163-record" "${recorderFixedOptions[@]}" \
    --output "$build/bin/linux-fixed.csv" 2>/dev/null

if [ "$arch" = x64 ]; then
    echo "== the Windows programs under Wine =="
    inXvfb "$root/scripts/windows-checks.sh" "$build/bin" "$build/screenshot-wine.png"
else
    echo "== the Windows programs under 32-bit Wine, in an emulated machine =="
    "$root/scripts/windows-guest.sh" image >/dev/null
    job="$build/guest-job"
    rm -rf "$job" "$build/guest-out"
    mkdir -p "$job/scripts"
    cp -r "$build/bin" "$job/bin"
    cp "$root/scripts/windows-checks.sh" "$root/scripts/lib.sh" "$job/scripts/"
    cat >"$job/run.sh" <<'EOF'
# In the emulated machine, whose Wine settings and prefix the machine gives every job: the checks,
# with its 32-bit Wine.
export QV58163_WINE=wine QV58163_WINESERVER=wineserver
. scripts/lib.sh
inXvfb bash scripts/windows-checks.sh bin "$1/screenshot-wine.png"
EOF
    status=0
    "$root/scripts/windows-guest.sh" run "$job" "$build/guest-out" || status=$?
    grep -E '^(ok|FAILED|---)' "$build/guest-out/job.log" 2>/dev/null || true
    [ "$status" = 0 ] ||
        fail "the checks in the emulated machine failed (status $status); their log: $build/guest-out/job.log"
    cp "$build/guest-out/screenshot-wine.png" "$build/screenshot-wine.png"
fi

# The zip: the program alone at the top, so that nothing beside it is loaded before the card
# maker's driver; the simulated driver in a folder of its own.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
zipName="qv58163-$version-windows-$arch.zip"
stage="$build/zip"
rm -rf "$stage"
mkdir -p "$stage/simulated-driver" "$root/dist"
cp "$build/bin/qv58163.exe" "$build/bin/qv58163-record.exe" "$stage/"
cp "$build/bin/QV58163.dll" "$stage/simulated-driver/"
sed 's/$/\r/' "$root/scripts/windows-readme.txt" >"$stage/README.txt"
rm -f "$root/dist/$zipName"
(cd "$stage" && zip -q -X -r "$root/dist/$zipName" qv58163.exe qv58163-record.exe README.txt simulated-driver)
echo "dist/$zipName: $(stat -c %s "$root/dist/$zipName") bytes; Windows $arch leg took $(($(date +%s) - started)) s"
