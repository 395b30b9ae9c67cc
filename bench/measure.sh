#!/usr/bin/env bash
# Measures the panel on the simulated card in a real X server (Xvfb), against a bare Qt window
# showing one label (bench/bare_window), and writes the figures to docs/performance.md:
#   - start-up: wall time from starting the process to its window being shown, median of 10
#   - peak resident memory over a session (start, START, 10 s of readings, Alt+E), /usr/bin/time
#   - CPU time (user + system, /proc/PID/stat) used in one minute of acquisition
#   - the refresh timer's tick intervals, from bench's qv58163_tick_run (offscreen, 60 s)
#   bench/measure.sh [BUILD_DIR]      (default: build; the targets it needs are built there)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath -m "${1:-$root/build}")"

# Everything below runs in an X server of its own.
if [ -z "${QV58163_MEASURE_XVFB:-}" ]; then
    "$root/scripts/install-deps.sh"
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j2 --target qv58163 QV58163 qv58163_tick_run >/dev/null
    cmake -S "$root/bench/bare_window" -B "$build/bare_window" >/dev/null
    cmake --build "$build/bare_window" -j2 >/dev/null
    QV58163_MEASURE_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$build"
fi

panel="$build/bin/qv58163"
bare="$build/bare_window/bare_window"
scratch="$(mktemp -d)"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

now() { date +%s.%N; }
shown() { xwininfo -name "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }
wait_shown() {
    for _ in $(seq 3000); do
        shown "$1" && return 0
        sleep 0.005
    done
    echo "measure.sh: no window \"$1\"" >&2
    exit 1
}
stop() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=""
}
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# Keys to a window: no window manager, so it is given the keyboard directly.
keys() {
    local window
    window="$(xdotool search --onlyvisible --name "^$1\$" | head -n1)"
    xdotool windowfocus --sync "$window"
    shift
    xdotool key --delay 100 "$@"
}

# Start-up: process start to window shown, ms.
startup_ms() {  # startup_ms TITLE PROGRAM
    local t0 t1
    t0="$(now)"
    "$2" >/dev/null 2>&1 &
    pid=$!
    wait_shown "$1"
    t1="$(now)"
    stop
    awk "BEGIN {print ($t1 - $t0) * 1000}"
}
for k in $(seq 10); do startup_ms 'QV58163 Main' "$panel"; done >"$scratch/panel.startup"
for k in $(seq 10); do startup_ms 'Bare Window' "$bare"; done >"$scratch/bare.startup"
panel_startup="$(median <"$scratch/panel.startup")"
bare_startup="$(median <"$scratch/bare.startup")"

# Peak resident memory over a session, KiB.
# The driver trace shows that START took (the CPU minute below is run untraced, same keys).
QV58163_SIM_TRACE="$scratch/session.trace" /usr/bin/time -f %M -o "$scratch/panel.rss" "$panel" \
    >/dev/null 2>&1 &
pid=$!
wait_shown 'QV58163 Main'
keys 'QV58163 Main' Tab Tab Tab Tab space
sleep 10
keys 'QV58163 Main' alt+e
wait "$pid" || true
pid=""
/usr/bin/time -f %M -o "$scratch/bare.rss" "$bare" >/dev/null 2>&1 &
pid=$!
wait_shown 'Bare Window'
sleep 10
kill "$(pgrep -P "$pid")"
wait "$pid" || true
pid=""
panel_rss="$(tail -n1 "$scratch/panel.rss")"
session_reads="$(grep -c '^QV58163_AD_integral_all_read' "$scratch/session.trace" || true)"
[ "$session_reads" -gt 50 ] || { echo "measure.sh: START did not take ($session_reads reads)" >&2; exit 1; }
bare_rss="$(tail -n1 "$scratch/bare.rss")"

# CPU time in one minute: the panel acquiring, the bare window idle. Seconds per minute.
hz="$(getconf CLK_TCK)"
cpu_per_minute() {  # cpu_per_minute TITLE PROGRAM [KEYS...]
    local title="$1" program="$2" before after
    shift 2
    "$program" >/dev/null 2>&1 &
    pid=$!
    wait_shown "$title"
    [ $# -gt 0 ] && keys "$title" "$@"
    sleep 1
    before="$(cpu_ticks "$pid")"
    sleep 60
    after="$(cpu_ticks "$pid")"
    stop
    awk "BEGIN {print ($after - $before) / $hz}"
}
panel_cpu="$(cpu_per_minute 'QV58163 Main' "$panel" Tab Tab Tab Tab space)"
bare_cpu="$(cpu_per_minute 'Bare Window' "$bare")"

# The refresh timer's ticks, from the other benchmark program.
ticks="$(QT_QPA_PLATFORM=offscreen "$build/bin/qv58163_tick_run" 60 2>/dev/null)"

fmt() { printf "%.${2:-1}f" "$1"; }
fmt_list() { tr '\n' ' ' | awk '{for (i = 1; i <= NF; i++) printf "%s%.0f", (i > 1 ? ", " : ""), $i}'; }
cpu_model="$(lscpu | sed -n 's/^Model name: *//p' | head -n1)"
memory="$(free -h | awk '/^Mem:/ {print $2}')"
os="$(. /etc/os-release && echo "$PRETTY_NAME")"
qt="$(dpkg-query -W -f='${Version}' libqt6core6 2>/dev/null || echo unknown)"
build_type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")"
cat >"$root/docs/performance.md" <<REPORT
# Performance

Measured by \`bench/measure.sh\` on $(date -u +%Y-%m-%d), on the simulated card (default settings)
in Xvfb (1024x768, 24 bit, no window manager), against a bare Qt window showing one label
(\`bench/bare_window\`). Build type: ${build_type:-default}.

Machine: $cpu_model, $(nproc) cores, $memory memory, $os, Qt $qt.

| Figure | Panel | Bare Qt window |
| --- | --- | --- |
| Start-up: process start to window shown, median of 10 | $(fmt "$panel_startup") ms | $(fmt "$bare_startup") ms |
| Peak resident memory (start, START, 10 s of readings: $session_reads reads, exit) | $((panel_rss / 1024)) MiB ($panel_rss KiB) | $((bare_rss / 1024)) MiB ($bare_rss KiB) (shown 10 s) |
| CPU time (user + system) per minute | $(fmt "$panel_cpu" 2) s acquiring | $(fmt "$bare_cpu" 2) s idle |

Start-up times of the ten runs, ms: panel $(fmt_list <"$scratch/panel.startup"); bare window $(fmt_list <"$scratch/bare.startup").
"Shown" is the moment \`xwininfo\` first reports the window viewable (polled every 5 ms or so,
each poll a process of its own, so the figures carry a few milliseconds of that).

## Refresh timer

\`qv58163_tick_run 60\` (bench/tick_run.cpp: the real window offscreen on the simulated card,
START pressed, one minute):

\`\`\`
$ticks
\`\`\`
REPORT
echo "wrote $root/docs/performance.md"
