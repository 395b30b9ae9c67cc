#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Under CI (CI=true) it then builds and
# runs the whole suite a second time with AddressSanitizer and UndefinedBehaviorSanitizer, starts
# the recorder's service for real under systemd, and builds and checks the Windows programs, 64-bit
# and 32-bit. The Linux builds are the presets of CMakePresets.json: build/ and build-asan/.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
jobs="$(nproc)"

build_and_test() {
    local preset="$1"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j"$jobs"
    ctest --preset "$preset" -j"$jobs"
}

build_and_test default

if [ "${CI:-}" = "true" ] || [ "${QV58163_SANITIZE:-}" = "1" ]; then
    # Memory that system libraries keep to the process exit or lose (D-Bus, Qt's thread pool) is
    # suppressed by name in lsan.supp, whose comments say why; anything of ours fails the run.
    echo "== the same suite under AddressSanitizer and UndefinedBehaviorSanitizer =="
    build_and_test sanitize
fi

if [ "${CI:-}" = "true" ]; then
    # The recorder's service as systemd runs it: this machine's PID 1 is not systemd, so it runs
    # in an emulated machine whose is. The first run on a machine also builds its image (minutes).
    echo "== the recorder's service, started by systemd in an emulated machine =="
    "$root/scripts/service-guest.sh" "$root/build"
    # The Windows program: cross-built, checked under Wine and zipped. The first run on a machine
    # also builds the static Qt it needs, into a cache that later runs reuse.
    echo "== the Windows programs (x64), under Wine =="
    "$root/scripts/windows.sh" x64
    # The 32-bit programs run under 32-bit Wine in an emulated machine. The first run on a machine
    # also builds their static Qt and the machine's image, about half an hour on two cores. CI has
    # 75 minutes in all: when that first build would start after 35 of them, the leg is skipped,
    # with a line that says so, and runs once the Qt is in the cache.
    if "$root/scripts/windows-qt.sh" x86 --cached >/dev/null 2>&1 ||
        [ "$SECONDS" -le $((35 * 60)) ]; then
        echo "== the Windows programs (x86), under 32-bit Wine in an emulated machine =="
        "$root/scripts/windows.sh" x86
    else
        echo "== the Windows programs (x86): skipped, its static Qt is not in the cache and" \
            "building it now would take this run past 75 minutes" \
            "(scripts/windows.sh x86 builds it) =="
    fi
fi
