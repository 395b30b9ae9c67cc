#!/usr/bin/env bash
# Measures the panel on the simulated card in a real X server (Xvfb), against a bare Qt window
# showing one label (bench/bare_window), prints the two start-up ratios and writes every figure to
# docs/performance.md:
#   - start-up: process start to the X server's MapNotify of the program's window, the processor
#     time used by then, and the peak resident memory of a run that ends 300 ms after that (the
#     first paint included); the two programs run in turn, panel then bare window, RUNS times
#     (default 11), medians compared
#   - peak resident memory over a session (start, START, 10 s of readings, Alt+E), /usr/bin/time
#   - CPU time (user + system, all threads) in 30 s: the panel acquiring, the bare window idle
#   - the refresh timer's tick intervals, from bench's qv58163_tick_run (offscreen, 60 s)
#   bench/measure.sh [BUILD_DIR]      (default: build; the targets it needs are built there)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"
runs="${RUNS:-11}"

# Everything after the build runs in an X server of its own.
. "$root/scripts/lib.sh"
if [ -z "${QV58163_OWN_X_SERVER:-}" ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j"$buildJobs" --target qv58163 QV58163 qv58163_tick_run >/dev/null
    cmake -S "$root/bench/bare_window" -B "$build/bare_window" >/dev/null
    cmake --build "$build/bare_window" -j"$buildJobs" >/dev/null
fi
inOwnXServer "$build"

panel="$build/bin/qv58163"
bare="$build/bare_window/bare_window"
probe="$build/bare_window/startup_probe"
panel_title='QV58163 Main'
bare_title='Bare Window'
scratch="$(mktemp -d)"
onExit rm -rf "$scratch"
onExit endJobs
useScratchRuntime "$scratch"
export QV58163_LOCK_DIR="$scratch"  # card locks of its own

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
# CPU time of every thread of the process, ns.
cpu_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ns += $1} END {print ns}'; }

# Start-up, interleaved: "SHOWN_MS PEAK_KIB CPU_MS" per run.
: >"$scratch/panel.startup"
: >"$scratch/bare.startup"
for _ in $(seq "$runs"); do
    "$probe" "$panel_title" 300 "$panel" >>"$scratch/panel.startup"
    "$probe" "$bare_title" 300 "$bare" >>"$scratch/bare.startup"
done
panel_startup="$(awk '{print $1}' "$scratch/panel.startup" | median)"
bare_startup="$(awk '{print $1}' "$scratch/bare.startup" | median)"
panel_peak="$(awk '{print $2}' "$scratch/panel.startup" | median)"
bare_peak="$(awk '{print $2}' "$scratch/bare.startup" | median)"
panel_used="$(awk '{print $3}' "$scratch/panel.startup" | median)"
bare_used="$(awk '{print $3}' "$scratch/bare.startup" | median)"
ratio() { awk "BEGIN {printf \"%.2f\", $1 / $2}"; }
time_ratio="$(ratio "$panel_startup" "$bare_startup")"
memory_ratio="$(ratio "$panel_peak" "$bare_peak")"
used_ratio="$(ratio "$panel_used" "$bare_used")"

# Peak resident memory over a session, KiB.
# The driver trace shows that START took (the CPU run below is untraced, same keys).
QV58163_SIM_TRACE="$scratch/session.trace" /usr/bin/time -f %M -o "$scratch/panel.rss" "$panel" \
    >/dev/null 2>&1 &
pid=$!
window="$(findWindow 30 "$panel_title")"
pressStart "$window"
sleep 10
keysTo "$window" alt+e
wait "$pid" || true
/usr/bin/time -f %M -o "$scratch/bare.rss" "$bare" >/dev/null 2>&1 &
pid=$!
findWindow 30 "$bare_title" >/dev/null
sleep 10
kill "$(pgrep -P "$pid")"
wait "$pid" || true
panel_rss="$(tail -n1 "$scratch/panel.rss")"
session_reads="$(grep -c '^QV58163_AD_integral_all_read' "$scratch/session.trace" || true)"
[ "$session_reads" -gt 50 ] || { echo "measure.sh: START did not take ($session_reads reads)" >&2; exit 1; }
bare_rss="$(tail -n1 "$scratch/bare.rss")"

# CPU time in 30 s, as a share of one core: the panel acquiring, the bare window idle. Percent.
cpu_percent() {  # cpu_percent TITLE PROGRAM [COMMAND]: the command is given the window first
    local title="$1" program="$2" window before after
    shift 2
    "$program" >/dev/null 2>&1 &
    pid=$!
    window="$(findWindow 30 "$title")"
    [ $# -eq 0 ] || "$@" "$window"
    sleep 1
    before="$(cpu_ns "$pid")"
    sleep 30
    after="$(cpu_ns "$pid")"
    endJobs
    awk "BEGIN {print ($after - $before) / 30e9 * 100}"
}
panel_cpu="$(cpu_percent "$panel_title" "$panel" pressStart)"
bare_cpu="$(cpu_percent "$bare_title" "$bare")"

# The refresh timer's ticks, from the other benchmark program.
ticks="$(QT_QPA_PLATFORM=offscreen "$build/bin/qv58163_tick_run" 60 2>/dev/null)"

fmt() { printf "%.${2:-1}f" "$1"; }
column() { awk -v c="$1" '{printf "%s%.0f", (NR > 1 ? ", " : ""), $c}' "$2"; }
cpu_model="$(lscpu | sed -n 's/^Model name: *//p' | head -n1)"
memory="$(free -h | awk '/^Mem:/ {print $2}')"
os="$(. /etc/os-release && echo "$PRETTY_NAME")"
qt="$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)"
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
load="$(cut -d' ' -f1-3 /proc/loadavg)"
# bench/publish.sh's section, at the end, is kept.
publishing="$(sed -n '/^## Publishing to an MQTT broker$/,$p' "$root/docs/performance.md" 2>/dev/null || true)"
cat >"$root/docs/performance.md" <<REPORT
# Performance

Measured by \`bench/measure.sh\` on $(date -u +%Y-%m-%d), on the simulated card (default settings)
in Xvfb (1024x768, 24 bit, no window manager), against a bare Qt window showing one label
(\`bench/bare_window\`). Build type: ${build_type:-default}.

Machine: $cpu_model, $(nproc) cores, $memory memory, $os, Qt $qt; load average when done: $load.

## Start-up

Process start to the X server's MapNotify of the program's window, the processor time (all
threads) the program had used by then, and the peak resident memory of a run ended 300 ms after
it (its first paint included), as \`bench/bare_window/startup_probe\` sees them; the programs
take turns, panel then bare window, $runs runs each. Medians:

| Figure | Panel | Bare Qt window | Panel / bare |
| --- | --- | --- | --- |
| Shown | $(fmt "$panel_startup") ms | $(fmt "$bare_startup") ms | ${time_ratio}x |
| Processor time until shown | $(fmt "$panel_used") ms | $(fmt "$bare_used") ms | ${used_ratio}x |
| Peak resident memory | $(fmt "$(awk "BEGIN {print $panel_peak / 1024}")") MiB | $(fmt "$(awk "BEGIN {print $bare_peak / 1024}")") MiB | ${memory_ratio}x |

Every run, ms: panel $(column 1 "$scratch/panel.startup"); bare window $(column 1 "$scratch/bare.startup").
Every run, KiB: panel $(column 2 "$scratch/panel.startup"); bare window $(column 2 "$scratch/bare.startup").
The time until shown is wall-clock time and grows with whatever else the machine runs (see the
load average above); the processor time does not.

## Running

| Figure | Panel | Bare Qt window |
| --- | --- | --- |
| Peak resident memory (start, START, 10 s of readings: $session_reads reads, exit) | $((panel_rss / 1024)) MiB ($panel_rss KiB) | $((bare_rss / 1024)) MiB ($bare_rss KiB) (shown 10 s) |
| CPU time (user + system, all threads) in 30 s, share of one core | $(fmt "$panel_cpu" 2) % acquiring | $(fmt "$bare_cpu" 2) % idle |

## Refresh timer

\`qv58163_tick_run 60\` (bench/tick_run.cpp: the real window offscreen on the simulated card,
START pressed, one minute):

\`\`\`
$ticks
\`\`\`
REPORT
[ -z "$publishing" ] || printf '\n%s\n' "$publishing" >>"$root/docs/performance.md"
echo "start-up, panel / bare window: time ${time_ratio}x, peak memory ${memory_ratio}x" \
    "(processor time ${used_ratio}x)"
echo "CPU acquiring: $(fmt "$panel_cpu" 2) % of a core"
echo "wrote $root/docs/performance.md"
