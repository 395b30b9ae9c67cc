#!/usr/bin/env bash
# What putting the file on the disk costs a recording at 1 ms: the recorder's processor time per
# sample (user + system, its start-up left out) and the deadlines it skipped, with --sync 0 (after
# every row), the default --sync 10, and without syncing during the run (--sync 86400: only when
# the file closes). SAMPLES samples each (default 20000, 20 s), one after the other, on the
# simulated card, written into a folder of DIR (default: the build folder, so the disk the project
# is on; give the disk a rack records to).
#   bench/sync_cost.sh [BUILD_DIR [DIR]]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
build="$(realpath -m "${1:-$root/build}")"
samples="${SAMPLES:-20000}"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target qv58163-record QV58163 >/dev/null

scratch="$(mktemp -d "${2:-$build}/sync-cost.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export QV58163_LOCK_DIR="$scratch"  # card locks of its own
recorder="$build/bin/qv58163-record"
echo "files on $(df --output=source,fstype "$scratch" | tail -n 1 | tr -s ' '), $samples samples at 1 ms"

startup="$(cpuMs "$recorder" --count 1 --output "$scratch/one.csv" --quiet)"
for sync in 0 10 86400; do
    cpu="$(cpuMs "$recorder" --interval 1 --count "$samples" --sync "$sync" \
        --output "$scratch/run-$sync.csv" --report "$scratch/run-$sync.json" --quiet)"
    skipped="$(sed -n 's/^ *"skippedDeadlines": \([0-9]*\).*/\1/p' "$scratch/run-$sync.json")"
    awk -v sync="$sync" -v n="$samples" -v c="$cpu" -v s="$startup" -v k="$skipped" 'BEGIN {
        printf "--sync %-5s %6.1f us a sample, %d deadlines skipped\n", sync, (c - s) * 1000 / n, k
    }'
done
