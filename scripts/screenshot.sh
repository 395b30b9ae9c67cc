#!/usr/bin/env bash
# Takes a picture of the panel as an operator sees it: the program on the simulated card in a real
# X server (Xvfb), START pressed from the keyboard (four Tabs from the card list, then Space), one
# second of readings, then the window saved as a PNG.
#   scripts/screenshot.sh [OUTPUT.png]          (default: docs/screenshot.png)
# QV58163_BIN_DIR names the directory holding qv58163 and libQV58163.so; without it the program is
# built in build/ first. Simulator settings (QV58163_SIM_*) pass through to the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
failPrefix="screenshot.sh: "
out="$(realpath -m "${1:-$root/docs/screenshot.png}")"
if [ -z "${QV58163_BIN_DIR:-}" ]; then
    "$root/scripts/install-deps.sh"
    (cd "$root" && cmake --preset default)
    cmake --build "$root/build" -j"$buildJobs" --target qv58163 QV58163 >/dev/null
    export QV58163_BIN_DIR="$root/build/bin"
fi
inOwnXServer "$out"
bin_dir="$QV58163_BIN_DIR"

scratch="$(mktemp -d)"
onExit rm -rf "$scratch"
onExit endJobs
useScratchRuntime "$scratch"
# Card locks of its own, never those of a panel or recorder on this machine.
export QV58163_LOCK_DIR="$scratch"

# Every driver call is traced, so the script can see START take effect.
trace="${QV58163_SIM_TRACE:-$scratch/driver.trace}"
QV58163_SIM_TRACE="$trace" "$bin_dir/qv58163" >"$scratch/program.log" 2>&1 &
window="$(findWindow 60 'QV58163 Main')" || fail "no window: $(cat "$scratch/program.log")"
reads_before="$(grep -c 'QV58163_AD_integral_all_read' "$trace" || true)"
pressStart "$window"
waitUntil 60 grep -q 'QV58163_AD_integral_start' "$trace" || fail "START did not take: $(cat "$scratch/program.log")"
[ "$reads_before" = 0 ] || fail "readings before START"
sleep 1
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "$out"
