#!/usr/bin/env bash
# The recorder's processor time per sample in real time, against the floor no recorder can go
# under on the same machine at the same moment (bench/bare_window/wake_floor: the same wake-ups
# and one row written each, nothing else). Both run side by side, SAMPLES samples at 100 ms
# (default 3000, five minutes), on the simulated card with its default settings; the recorder's
# start-up, taken from a one-sample run, is left out. Prints microseconds a sample and seconds an
# hour (36,000 samples) for both.
#   bench/recorder_cpu.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
build="$(realpath -m "${1:-$root/build}")"
samples="${SAMPLES:-3000}"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target qv58163-record QV58163 >/dev/null
cmake -S "$root/bench/bare_window" -B "$build/bare_window" >/dev/null
cmake --build "$build/bare_window" -j2 --target wake_floor >/dev/null

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
export QV58163_LOCK_DIR="$scratch"  # card locks of its own
recorder="$build/bin/qv58163-record"

# The start-up run records card 1, the long run card 0: one recorder per card.
cpuMs "$recorder" --card 1 --count 1 --output "$scratch/one.csv" --quiet >"$scratch/startup" &
cpuMs "$recorder" --count "$samples" --output "$scratch/run.csv" --quiet >"$scratch/recorder" &
cpuMs "$build/bare_window/wake_floor" "$samples" 100 "$scratch/floor.csv" >"$scratch/floor" &
wait

rows="$(($(wc -l <"$scratch/run.csv") - 1))"
[ "$rows" -eq "$samples" ] || { echo "recorder_cpu.sh: $rows rows, not $samples" >&2; exit 1; }
awk -v n="$samples" -v s="$(cat "$scratch/startup")" -v r="$(cat "$scratch/recorder")" \
    -v f="$(cat "$scratch/floor")" 'BEGIN {
    printf "recorder: %.1f us a sample, %.2f s an hour (%.0f ms for %d samples, start-up %.0f ms left out)\n",
           (r - s) * 1000 / n, (r - s) * 36 / n, r, n, s
    printf "floor:    %.1f us a sample, %.2f s an hour\n", f * 1000 / n, f * 36 / n
}'
