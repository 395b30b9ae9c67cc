#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Under CI (CI=true) it then builds and
# runs the whole suite a second time with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
jobs="$(nproc)"

build_and_test() {
    local dir="$1"
    shift
    cmake -S "$root" -B "$dir" "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

build_and_test "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ "${CI:-}" = "true" ] || [ "${QV58163_SANITIZE:-}" = "1" ]; then
    echo "== the same suite under AddressSanitizer and UndefinedBehaviorSanitizer =="
    # Leaks inside system libraries (D-Bus under a real X server) are suppressed by name in
    # lsan.supp; anything of ours still fails the run.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
        build_and_test "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQV58163_SANITIZE=ON \
        -DQV58163_BUILD_BENCH=OFF
fi
