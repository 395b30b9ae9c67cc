#!/usr/bin/env bash
# Builds the panel for Windows, checks it under Wine and packs it:
#   scripts/windows.sh [x64|x86]        (default x64)
# Cross-compiles with Debian's MinGW-w64 against a static Qt built once into
# ${XDG_CACHE_HOME:-$HOME/.cache}/qv58163/ (scripts/windows-qt.sh), runs the Windows checks under
# Wine in Xvfb (x64 only: this machine's kernel runs no 32-bit programs) and writes
# dist/qv58163-<version>-windows-<arch>.zip.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
arch="${1:-x64}"
case "$arch" in
x64) mingwArch=x86_64 ;;
x86) mingwArch=i686 ;;
*)
    echo "usage: $0 [x64|x86]" >&2
    exit 2
    ;;
esac
jobs="${QV58163_JOBS:-$(nproc)}"
started=$(date +%s)

# The Linux side's packages (Xvfb, xdotool, ImageMagick, the fonts), then the cross build's own.
"$root/scripts/install-deps.sh"
packages=(zip googletest "g++-mingw-w64-${mingwArch//_/-}-posix")
if [ "$arch" = x64 ]; then
    # Wine, and the 32-bit compiler for a driver of the other word size.
    packages+=(wine64 fonts-wine g++-mingw-w64-i686-posix)
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}"
fi

qt="$("$root/scripts/windows-qt.sh" "$arch" | tail -n1)"

# The program and the simulated driver, linked with the MinGW runtime inside (-static) so that
# neither needs a DLL beside it, and stripped. Nothing that needs Linux's own tools is built.
build="$root/build-windows-$arch"
export QV58163_MINGW_ARCH="$mingwArch"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQV58163_MINGW_ARCH="$mingwArch" \
    -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_FIND_ROOT_PATH="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_EXE_LINKER_FLAGS="-static -s" -DCMAKE_SHARED_LINKER_FLAGS="-static -s" \
    -DQV58163_BUILD_TESTS=OFF -DQV58163_BUILD_BENCH=OFF -DQV58163_BUILD_PACKAGING=OFF \
    -DQV58163_BUILD_RECORDER=OFF \
    -DQV58163_WINE_CHECKS=ON >/dev/null
cmake --build "$build" -j"$jobs" --target qv58163 QV58163 qv58163_wine_text_fit

# The driver's exports by their plain names, as the program and the maker's driver have them;
# the MinGW runtime linked in, not needed beside the program.
exports="$("${mingwArch}-w64-mingw32-objdump" -p "$build/bin/QV58163.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')"
expected="$(sed -n 's/^QV58163_EXPORT int32_t QV58163_CALL \(QV58163_[A-Za-z_]*\)(.*/\1/p' \
    "$root/card/QV58163.h" | sort | tr '\n' ' ')"
[ "$exports" = "$expected" ] || {
    echo "QV58163.dll exports: $exports; the header declares: $expected" >&2
    exit 1
}
for f in qv58163.exe QV58163.dll; do
    if "${mingwArch}-w64-mingw32-objdump" -p "$build/bin/$f" |
        grep -E 'DLL Name: (libstdc\+\+|libgcc|libwinpthread)' >&2; then
        echo "$f needs the MinGW runtime beside it" >&2
        exit 1
    fi
done

if [ "$arch" = x64 ]; then
    # The simulated card built as a 32-bit DLL, as most card owners' drivers are: the 64-bit
    # program must say that it cannot load it and which program can.
    mkdir -p "$build/bin/driver32"
    i686-w64-mingw32-g++-posix -std=c++17 -O2 -shared -static -s -Wl,--kill-at \
        -DQV58163_BUILDING_DRIVER -I"$root/card" -I"$root/simulator" \
        "$root"/simulator/{api,Settings,SignalModel,CardModel}.cpp -o "$build/bin/driver32/QV58163.dll"
    echo "== the Windows program under Wine =="
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
        "$root/scripts/windows-checks.sh" "$build/bin" "$build/screenshot-wine.png"
else
    echo "== $arch: built, not run (this machine runs no 32-bit programs) =="
fi

# The zip: the program alone at the top, so that nothing beside it is loaded before the card
# maker's driver; the simulated driver in a folder of its own.
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
zipName="qv58163-$version-windows-$arch.zip"
stage="$build/zip"
rm -rf "$stage"
mkdir -p "$stage/simulated-driver" "$root/dist"
cp "$build/bin/qv58163.exe" "$stage/"
cp "$build/bin/QV58163.dll" "$stage/simulated-driver/"
sed 's/$/\r/' "$root/scripts/windows-readme.txt" >"$stage/README.txt"
rm -f "$root/dist/$zipName"
(cd "$stage" && zip -q -X -r "$root/dist/$zipName" qv58163.exe README.txt simulated-driver)
echo "dist/$zipName: $(stat -c %s "$root/dist/$zipName") bytes; Windows $arch leg took $(($(date +%s) - started)) s"
