#!/usr/bin/env bash
# Builds libmosquitto, the recorder's MQTT client, as a static library for Windows, once, into a
# cache outside the tree:
#   scripts/windows-mqtt.sh [x64|x86]
# prints the library's prefix (include/, lib/) on its last line. The source is Debian's own
# mosquitto package of the version installed here, so the Windows and the Linux recorders run the
# same client. It is built without TLS (there is no cross-built OpenSSL; the Windows recorders
# refuse mqtts://) and without its threads (the recorder drives the client from one thread).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
arch="${1:-x64}"
mingwArch="$(mingwArchOf "$arch")" || { echo "usage: $0 [x64|x86]" >&2 && exit 2; }

installMissing libmosquitto-dev cmake ninja-build dpkg-dev ca-certificates \
    "gcc-mingw-w64-${mingwArch//_/-}-posix"

version="$(dpkg-query -W -f='${source:Version}' libmosquitto-dev)" # e.g. 2.0.11-1.2+deb12u2
prefix="$cacheDir/mosquitto-$version-windows-$arch"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

work="$cacheDir/work-mosquitto-$arch"
log="$cacheDir/mosquitto-windows-$arch.log"
rm -rf "$work" "$prefix"
: >"$log"
onExit rm -rf "$work"
echo "Building libmosquitto $version for Windows $arch into $prefix (log: $log)" >&2
src="$(debianSource "mosquitto=$version" "$work" "$log")" ||
    fail "fetching mosquitto's source failed: $(tail -n 5 "$log")"

# The library alone: no broker, clients, plugins, documentation or C++ wrapper.
export QV58163_MINGW_ARCH="$mingwArch"
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DQV58163_MINGW_ARCH="$mingwArch" \
    -DWITH_STATIC_LIBRARIES=ON -DWITH_TLS=OFF -DWITH_THREADING=OFF -DWITH_SOCKS=OFF \
    -DWITH_UNIX_SOCKETS=OFF -DWITH_CJSON=OFF -DWITH_LIB_CPP=OFF -DWITH_BROKER=OFF \
    -DWITH_CLIENTS=OFF -DWITH_APPS=OFF -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF >>"$log" 2>&1 ||
    fail "configuring libmosquitto failed: $(tail -n 20 "$log")"
cmake --build "$work/build" -j"$buildJobs" --target libmosquitto_static >>"$log" 2>&1 ||
    fail "building libmosquitto failed: $(tail -n 20 "$log")"
mkdir -p "$prefix/include" "$prefix/lib"
cp "$src/include/mosquitto.h" "$src/include/mqtt_protocol.h" "$prefix/include/"
cp "$work/build/lib/libmosquitto_static.a" "$prefix/lib/"
echo "$version" >"$prefix/.complete"
echo "$prefix"
