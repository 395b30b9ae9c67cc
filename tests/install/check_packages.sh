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

check "cpack builds the packages" -- cpack --config "$build/CPackConfig.cmake" -B "$scratch/packages"
program_deb="$(ls "$scratch"/packages/qv58163_*.deb)"
driver_deb="$(ls "$scratch"/packages/qv58163-simulated-driver_*.deb)"

multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
libdir="usr/lib/$multiarch"

# A Debian maintainer's first check. Overrides inside the packages say what is inherent.
check "lintian finds no error and no warning" -- lintian --fail-on error,warning "$program_deb" "$driver_deb"
# The build tree's program keeps its debug information; the package's has none.
check "the built program keeps its debug information" -- grep -q "with debug_info" <(file -L "$build/bin/qv58163")

programPackage() {
    local depends need files f
    depends="$(dpkg-deb -f "$program_deb" Depends)"
    for need in libqt6widgets6 libqt6gui6 libqt6core6 libmosquitto1 fonts-liberation fonts-arphic-uming; do
        [[ ",$depends" == *", $need"* || "$depends" == "$need"* ]] || fail "no $need in: $depends"
    done
    files="$(dpkg-deb -c "$program_deb" | awk '{print $NF}')"
    for f in ./usr/bin/qv58163 ./usr/bin/qv58163-record ./usr/share/man/man1/qv58163.1.gz \
        ./usr/share/man/man1/qv58163-record.1.gz ./usr/share/applications/org.qv58163.TestPanel.desktop \
        ./usr/share/metainfo/org.qv58163.TestPanel.metainfo.xml \
        ./usr/share/icons/hicolor/scalable/apps/org.qv58163.TestPanel.svg; do
        grep -qx "$f" <<<"$files" || fail "no $f"
    done
    ! grep -q 'libQV58163' <<<"$files" || fail "it carries a driver"
}
check "qv58163 holds the program and its desktop files, needs Qt and the window's fonts, has no driver" -- \
    programPackage

# The recorder's manual page points to the simulated card's settings, which the driver package has.
driverPackage() {
    local libs files
    libs="$(dpkg-deb -c "$driver_deb" | awk '$1 !~ /^d/ && $NF !~ /^\.\/usr\/share\// {print $NF}')"
    [ "$libs" = "./$libdir/libQV58163.so" ] || fail "it holds: $libs"
    [ "$(dpkg-deb -f "$driver_deb" Provides)" = "qv58163-driver" ] || fail "Provides"
    files="$(dpkg-deb -c "$driver_deb" | awk '{print $NF}')"
    grep -qx './usr/share/doc/qv58163-simulated-driver/simulator.md.gz' <<<"$files" || fail "no simulator's documentation"
}
check "qv58163-simulated-driver holds the library in the library path and the simulator's settings" -- \
    driverPackage

root="$scratch/root"
dpkg-deb -x "$program_deb" "$root"
dpkg-deb -x "$driver_deb" "$root"
check "no driver lies beside the installed program" -- test ! -e "$root/usr/bin/libQV58163.so"

# The recorder's service: systemd finds nothing wrong in its unit (run on the unpacked program, as
# the unit names it), and says how exposed the service is.
serviceUnit() {
    local unit="$scratch/qv58163-record@check.service" said
    test -f "$root/etc/qv58163/record-example.conf"
    sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$root/lib/systemd/system/qv58163-record@.service" >"$unit"
    said="$(systemd-analyze verify --man=no "$unit" 2>&1)" || fail "$said"
    [ -z "$said" ] || fail "$said"
    checkNote="$(systemd-analyze security --offline=yes "$unit" 2>&1 | sed -n 's/.*Overall exposure level[^:]*: //p')"
}
check "the recorder's service unit passes systemd-analyze verify" -- serviceUnit
# Starting it for real takes systemd as PID 1 and the packages installed, neither of which this
# machine offers the tests: an emulated machine does it.
if [ "$(cat /proc/1/comm 2>/dev/null)" = systemd ]; then
    echo "note: the unit is not started here (the tests install no package on this machine);" \
        "scripts/service-guest.sh starts it in an emulated machine (under CI)"
else
    echo "note: the unit is not started here, PID 1 is not systemd;" \
        "scripts/service-guest.sh starts it in an emulated machine (under CI)"
fi

# The unit's command with the example's options, as a plain process writing into a scratch folder
# instead of /var/lib/qv58163: it records into a slice of its own and stops cleanly on SIGTERM.
serviceCommand() {
    local options command status=0 slice
    options="$(sed -n 's/^QV58163_RECORD_OPTIONS=//p' "$root/etc/qv58163/record-example.conf")"
    command="$(sed -n 's/^ExecStart=//p' "$root/lib/systemd/system/qv58163-record@.service")"
    [ "$command" = '/usr/bin/qv58163-record $QV58163_RECORD_OPTIONS' ] || fail "ExecStart=$command"
    mkdir -p "$scratch/state"
    # shellcheck disable=SC2086 # split into words as systemd splits $QV58163_RECORD_OPTIONS
    LD_LIBRARY_PATH="$root/$libdir" QV58163_LOCK_DIR="$scratch" "$root/usr/bin/qv58163-record" \
        ${options//\/var\/lib\/qv58163/$scratch\/state} >"$scratch/service.out" 2>&1 &
    waitUntil 60 eval '[ "$(cat "$scratch"/state/*.csv 2>/dev/null | wc -l)" -ge 3 ]' ||
        fail "no rows: $(cat "$scratch/service.out")"
    kill -TERM $!
    wait $! || status=$?
    [ "$status" = 0 ] || fail "status $status: $(cat "$scratch/service.out")"
    slice="$(basename "$(ls "$scratch"/state/*.csv)")"
    [[ "$slice" =~ ^[A-Za-z0-9_-]+-card0-[0-9]{8}T[0-9]{6}Z-[0-9]{8}T[0-9]{6}Z\.csv$ ]] || fail "slice $slice"
    grep -q "^slice .*$slice: [0-9]* rows" "$scratch/service.out" || fail "no slice in: $(cat "$scratch/service.out")"
    checkNote="$slice"
}
check "the service's command with the example's options records and stops cleanly on SIGTERM" -- serviceCommand

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
onExit endJobs

# Without the driver's directory in the library path the program cannot find a driver. It reports
# the run-time error on stderr (then waits in the message box).
noDriver() {
    start_program "$scratch/nodriver.trace"
    waitUntil 60 grep -q "Run-time error: the driver library libQV58163.so" "$scratch/nodriver.trace.out" ||
        fail "it said: $(cat "$scratch/nodriver.trace.out")"
    endJobs
}
check "without the driver in the library path the program reports a run-time error" -- noDriver

# With it, the program starts on the simulated card and stays up. Qt's plugin log shows what it
# loads: its pictures are drawn or decoded by Qt itself, so no image-format plugin.
onDriver() {
    start_program "$scratch/run.trace" LD_LIBRARY_PATH="$root/$libdir" QT_DEBUG_PLUGINS=1
    waitUntil 60 grep -q "QV58163_AD_config_set(5, 7, " "$scratch/run.trace" ||
        fail "it did not start on the driver: $(cat "$scratch/run.trace.out")"
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "it did not stay up: $(cat "$scratch/run.trace.out")"
    endJobs
    grep -q 'platforms/libqoffscreen.so" loaded library' "$scratch/run.trace.out" || fail "no plugin log"
    ! grep 'imageformats/.*loaded library' "$scratch/run.trace.out" >&2 || fail "it loaded an image-format plugin"
}
check "on the driver the program starts, stays up and loads no image-format plugin" -- onDriver

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
check "the installed program's driver calls are those of its start on cards 2 and 5" -- \
    diff -u "$expected" "$scratch/run.trace"
