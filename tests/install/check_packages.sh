#!/usr/bin/env bash
# Builds the two Debian packages with cpack, passes them through lintian with no error and no
# warning, checks what each holds and needs, unpacks both into a scratch root and starts the
# installed program there, offscreen, on the installed simulated driver: it must find the driver
# in the library path (not beside itself), probe the cards, stay up, and paint its window without
# loading any image-format plugin.
#   check_packages.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build="$1"
scratch="$2"
rm -rf "$scratch"
mkdir -p "$scratch"
. "$(dirname "$0")/../../scripts/lib.sh"
failPrefix="FAIL: "

cpack --config "$build/CPackConfig.cmake" -B "$scratch/packages" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack"; }
program_deb="$(ls "$scratch"/packages/qv58163_*.deb)"
driver_deb="$(ls "$scratch"/packages/qv58163-simulated-driver_*.deb)"

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="usr/lib/$multiarch"

# A Debian maintainer's first check. Overrides inside the packages say what is inherent.
lintian --fail-on error,warning "$program_deb" "$driver_deb" >"$scratch/lintian.log" 2>&1 ||
    { cat "$scratch/lintian.log" >&2; fail "lintian"; }
# The build tree's program keeps its debug information; the package's has none.
file -L "$build/bin/qv58163" | grep -q "with debug_info" ||
    fail "the built program lost its debug information"

# The program package: the program and its desktop files, the Qt libraries, the recorder's MQTT
# client and the window's fonts as dependencies, and no driver of its own.
depends="$(dpkg-deb -f "$program_deb" Depends)"
for need in libqt6widgets6 libqt6gui6 libqt6core6 libpaho-mqtt1.3 fonts-liberation \
    fonts-arphic-uming; do
    [[ ",$depends" == *", $need"* || "$depends" == "$need"* ]] || fail "qv58163 does not depend on $need: $depends"
done
program_files="$(dpkg-deb -c "$program_deb" | awk '{print $NF}')"
for f in ./usr/bin/qv58163 ./usr/bin/qv58163-record ./usr/share/man/man1/qv58163.1.gz \
    ./usr/share/man/man1/qv58163-record.1.gz ./usr/share/applications/org.qv58163.TestPanel.desktop \
    ./usr/share/metainfo/org.qv58163.TestPanel.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/org.qv58163.TestPanel.svg; do
    grep -qx "$f" <<<"$program_files" || fail "qv58163 lacks $f"
done
! grep -q 'libQV58163' <<<"$program_files" || fail "qv58163 carries a driver"

# The driver package: exactly the library, in the system's library path (besides its documents).
driver_libs="$(dpkg-deb -c "$driver_deb" | awk '$1 !~ /^d/ && $NF !~ /^\.\/usr\/share\// {print $NF}')"
[ "$driver_libs" = "./$libdir/libQV58163.so" ] || fail "qv58163-simulated-driver holds: $driver_libs"
[ "$(dpkg-deb -f "$driver_deb" Provides)" = "qv58163-driver" ] || fail "driver Provides"
# The recorder's manual page points to the simulated card's settings there.
driver_files="$(dpkg-deb -c "$driver_deb" | awk '{print $NF}')"
grep -qx './usr/share/doc/qv58163-simulated-driver/simulator.md.gz' <<<"$driver_files" ||
    fail "qv58163-simulated-driver lacks the simulator's documentation"

root="$scratch/root"
dpkg-deb -x "$program_deb" "$root"
dpkg-deb -x "$driver_deb" "$root"
[ ! -e "$root/usr/bin/libQV58163.so" ] || fail "a driver lies beside the program"

# The simulated cards 2 and 5, with these ranges.
codes=(3 2 1 0 255 0 1 2)
# Runs the installed program in the background, offscreen; its pid in $pid.
start_program() {
    local trace="$1"
    shift
    rm -f "$trace"
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen QV58163_SIM_TRACE="$trace" \
        QV58163_SIM_CARDS=2,5 QV58163_SIM_RANGES="$(IFS=,; echo "${codes[*]}")" QV58163_LOCK_DIR="$scratch" "$@" \
        "$root/usr/bin/qv58163" >"$trace.out" 2>&1 &
    pid=$!
}
# Waits (at most a minute) until the file has the pattern, or the program is gone.
wait_for() {
    local file="$1" pattern="$2"
    for _ in $(seq 600); do
        grep -q "$pattern" "$file" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
stop_program() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
trap 'stop_program' EXIT

# Without the driver's directory in the library path the program cannot find a driver. It reports
# the run-time error on stderr (then waits in the message box).
start_program "$scratch/nodriver.trace"
wait_for "$scratch/nodriver.trace.out" "Run-time error: the driver library libQV58163.so" ||
    { cat "$scratch/nodriver.trace.out" >&2; fail "no run-time error without the driver"; }
stop_program

# With it, the program starts on the simulated card and stays up. Qt's plugin log shows what it
# loads: its pictures are drawn or decoded by Qt itself, so no image-format plugin.
start_program "$scratch/run.trace" LD_LIBRARY_PATH="$root/$libdir" QT_DEBUG_PLUGINS=1
wait_for "$scratch/run.trace" "QV58163_AD_config_set(5, 7, " ||
    { cat "$scratch/run.trace.out" >&2; fail "the program did not start on the driver"; }
sleep 2
kill -0 "$pid" 2>/dev/null || { cat "$scratch/run.trace.out" >&2; fail "the program did not stay up"; }
stop_program
grep -q 'platforms/libqoffscreen.so" loaded library' "$scratch/run.trace.out" ||
    fail "no plugin log from the program"
if grep 'imageformats/.*loaded library' "$scratch/run.trace.out" >&2; then
    fail "the program loaded an image-format plugin"
fi

expected="$scratch/expected.trace"
{
    echo "QV58163_initial() = 0"
    info=0
    for card in $(seq 0 15); do
        if [ "$card" = 2 ] || [ "$card" = 5 ]; then
            answer=$((0x58160800 | card))
            echo "QV58163_info($card, $info) = 0 info=$answer"
            info=$answer
        else
            echo "QV58163_info($card, $info) = -2"
        fi
    done
    for ch in $(seq 0 7); do
        echo "QV58163_AD_config_read(5, $ch) = 0 code=${codes[ch]}"
        echo "QV58163_AD_config_set(5, $ch, ${codes[ch]}) = 0"
    done
} >"$expected"
diff -u "$expected" "$scratch/run.trace" || fail "the installed program's driver calls differ"
echo "packages built, unpacked and started"
