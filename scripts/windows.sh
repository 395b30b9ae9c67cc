#!/usr/bin/env bash
# Builds the panel and the recorder for Windows, checks them under Wine and packs them:
#   scripts/windows.sh [x64|x86]        (default x64)
# Cross-compiles with Debian's MinGW-w64 against a static Qt and a static MQTT client built once
# into lib.sh's $cacheDir (scripts/windows-qt.sh, scripts/windows-mqtt.sh), runs the Windows
# checks under Wine (x64: here, in Xvfb; x86: in an emulated machine, scripts/windows-guest.sh,
# because this machine's kernel runs no 32-bit programs) and writes
# dist/qv58163-<version>-windows-<arch>.zip and, beside it, the installer
# dist/qv58163-<version>-windows-<arch>.msi (wixl, from packaging/windows/qv58163.wxs).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
arch="${1:-x64}"
mingwArch="$(mingwArchOf "$arch")" || { echo "usage: $0 [x64|x86]" >&2 && exit 2; }
started=$(date +%s)

# The Linux side's packages (Xvfb, xdotool, ImageMagick, the fonts), then the cross build's own.
"$root/scripts/install-deps.sh"
# Both compilers: the simulated card is built for the other word size too.
packages=(zip googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wixl msitools)
if [ "$arch" = x64 ]; then
    packages+=(wine64 fonts-wine)
fi
installMissing "${packages[@]}"

qt="$("$root/scripts/windows-qt.sh" "$arch" | tail -n1)"
mqtt="$("$root/scripts/windows-mqtt.sh" "$arch" | tail -n1)"

# The Linux build: the recorder whose file the Windows recorder must match, and the tool that draws
# the programs' icon, which the cross build cannot run.
build="$root/build-windows-$arch"
mkdir -p "$build"
linux="$root/build"
if [ ! -f "$linux/CMakeCache.txt" ]; then
    cmake --preset default >/dev/null
fi
cmake --build --preset default -j"$buildJobs" --target qv58163-record QV58163 qv58163_make_icons >/dev/null
icon="$build/qv58163.ico"
QT_QPA_PLATFORM=offscreen "$linux/bin/qv58163_make_icons" --ico "$icon"

# The program and the simulated drivers the checks use (simulator/CMakeLists.txt), linked with the
# MinGW runtime inside (-static) so that none needs a DLL beside it, and stripped. Nothing that
# needs Linux's own tools is built.
export QV58163_MINGW_ARCH="$mingwArch"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQV58163_MINGW_ARCH="$mingwArch" \
    -DCMAKE_PREFIX_PATH="$qt;$mqtt" -DCMAKE_FIND_ROOT_PATH="$qt;$mqtt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$qtHostCmakeDir" \
    -DCMAKE_EXE_LINKER_FLAGS="-static -s" -DCMAKE_SHARED_LINKER_FLAGS="-static -s" \
    -DQV58163_BUILD_TESTS=OFF -DQV58163_BUILD_BENCH=OFF -DQV58163_BUILD_PACKAGING=OFF \
    -DQV58163_BUILD_RECORDER=ON -DQV58163_RECORDER_SVG=OFF -DQV58163_RECORDER_MQTT=ON \
    -DQV58163_WINE_CHECKS=ON -DQV58163_WINDOWS_ICON="$icon" >/dev/null
cmake --build "$build" -j"$buildJobs"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"

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

# Each program says who it is (Explorer, Task Manager, the list of installed programs): its version
# resource, and the icon, the five sizes of qv58163.ico.
for f in qv58163.exe qv58163-record.exe; do
    resources="$("${mingwArch}-w64-mingw32-windres" -i "$build/bin/$f" -O rc 2>&1)" || fail "$f: $resources"
    for value in "ProductName\", \"QV58163 Test Panel" "ProductVersion\", \"$version" "FileVersion\", \"$version" \
        "OriginalFilename\", \"$f" "LegalCopyright\", \"Copyright " "FileDescription\", \"QV58163 " 'Has 5 elements'; do
        grep -qF "$value" <<<"$resources" || fail "$f: no $value in its resources"
    done
done

# What the Linux recorder writes for the fixed inputs, for the Windows recorder to match.
rm -f "$build/bin/linux-fixed.csv"
env "${recorderFixedInputs[@]}" "$linux/bin/qv58163-record" "${recorderFixedOptions[@]}" \
    --output "$build/bin/linux-fixed.csv" 2>/dev/null

# The files the zip and the installer deliver: the programs, the simulated driver, the README with
# Windows' line ends.
stage="$build/stage"
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/bin/qv58163.exe" "$build/bin/qv58163-record.exe" "$build/bin/QV58163.dll" "$stage/"
sed 's/$/\r/' "$root/scripts/windows-readme.txt" >"$stage/README.txt"

# A product code of its own for each word size and version, the same in every build of it: the MD5
# of "qv58163 ARCH VERSION", marked as a name-based (version 3) GUID.
productCode() {
    local h
    h="$(printf 'qv58163 %s %s' "$arch" "$1" | md5sum | cut -c1-32)"
    printf '%s-%s-3%s-%x%s-%s\n' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) "${h:17:3}" \
        "${h:20:12}" | tr a-f A-F
}
# The installer of the files in a folder: buildMsi VERSION FOLDER OUT.msi. wixl finds the files by
# names relative to where it runs, and writes no Environment table: the recorder's folder goes on
# the system PATH through Environment.idt and the two standard actions that apply it, added after.
buildMsi() {
    local wxs="$root/packaging/windows" out
    out="$(realpath "$3")"
    cp "$icon" "$2/qv58163.ico"
    (cd "$2" && wixl -a "$arch" -D Arch="$arch" -D Version="$1" -D ProductCode="$(productCode "$1")" \
        -D SourceDir=. -D IconFile=qv58163.ico -o "$out" "$wxs/qv58163.wxs")
    rm "$2/qv58163.ico"
    msibuild "$out" -i "$wxs/Environment.idt" \
        -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)" \
        -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
}
# This version's installer, and one of a lower version for the upgrade check, whose README.txt
# says what it is, so that the check sees which files an upgrade leaves.
msiName="qv58163-$version-windows-$arch.msi"
msiDir="$build/msi"
rm -rf "$msiDir"
mkdir -p "$msiDir/older"
buildMsi "$version" "$stage" "$msiDir/$msiName"
older="$(awk -F. '{ if ($3 > 0) print $1 "." $2 "." $3 - 1; else if ($2 > 0) print $1 "." $2 - 1 ".99";
    else print $1 - 1 ".99.0" }' <<<"$version")"
cp -r "$stage" "$build/stage-older"
echo "QV58163 Test Panel $older, built for the upgrade check" >"$build/stage-older/README.txt"
buildMsi "$older" "$build/stage-older" "$msiDir/older/qv58163-$older-windows-$arch.msi"
rm -rf "$build/stage-older"
echo "== $msiName =="
msiinfo tables "$msiDir/$msiName" | sort | tr '\n' ' '
echo
for table in Property Directory Component Feature FeatureComponents Shortcut Environment Upgrade \
    LaunchCondition InstallExecuteSequence; do
    echo "-- $table"
    msiinfo export "$msiDir/$msiName" "$table" | sed '2,3d'
done

if [ "$arch" = x64 ]; then
    echo "== the Windows programs under Wine =="
    inXvfb "$root/scripts/windows-checks.sh" "$build/bin" "$msiDir" "$build/screenshot-wine.png"
else
    echo "== the Windows programs under 32-bit Wine, in an emulated machine =="
    "$root/scripts/windows-guest.sh" image >/dev/null
    job="$build/guest-job"
    rm -rf "$job" "$build/guest-out"
    mkdir -p "$job/scripts"
    cp -r "$build/bin" "$job/bin"
    cp -r "$msiDir" "$job/msi"
    cp "$root/scripts/windows-checks.sh" "$root/scripts/lib.sh" "$job/scripts/"
    cat >"$job/run.sh" <<'EOF'
# In the emulated machine, whose Wine settings and prefix the machine gives every job: the checks,
# with its 32-bit Wine.
export QV58163_WINE=wine QV58163_WINESERVER=wineserver
. scripts/lib.sh
inXvfb bash scripts/windows-checks.sh bin msi "$1/screenshot-wine.png"
EOF
    status=0
    "$root/scripts/windows-guest.sh" run "$job" "$build/guest-out" || status=$?
    grep -E '^(ok|FAILED|---)' "$build/guest-out/job.log" 2>/dev/null || true
    [ "$status" = 0 ] ||
        fail "the checks in the emulated machine failed (status $status); their log: $build/guest-out/job.log"
    cp "$build/guest-out/screenshot-wine.png" "$build/screenshot-wine.png"
fi

# The zip: the program alone at the top, so that nothing beside it is loaded before the card
# maker's driver; the simulated driver in a folder of its own. The installer beside it.
zipName="qv58163-$version-windows-$arch.zip"
zipStage="$build/zip"
rm -rf "$zipStage"
mkdir -p "$zipStage/simulated-driver" "$root/dist"
cp "$stage/qv58163.exe" "$stage/qv58163-record.exe" "$stage/README.txt" "$zipStage/"
cp "$stage/QV58163.dll" "$zipStage/simulated-driver/"
rm -f "$root/dist/$zipName"
(cd "$zipStage" && zip -q -X -r "$root/dist/$zipName" qv58163.exe qv58163-record.exe README.txt simulated-driver)
cp "$msiDir/$msiName" "$root/dist/"
echo "dist/$zipName: $(stat -c %s "$root/dist/$zipName") bytes; dist/$msiName: $(stat -c %s "$root/dist/$msiName") bytes"
echo "Windows $arch leg took $(($(date +%s) - started)) s"
