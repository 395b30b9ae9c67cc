#!/usr/bin/env bash
# Publishing at scale, on Debian's mosquitto started here on a free local port with a
# configuration of its own (never the system's service), recorders on the simulated card:
#   1. one station at --interval 1 for SECONDS (default 60): samples delivered per second, lost,
#      latency from the sample's time to a subscriber's arrival (p50, p99), and the recorder's
#      processor time per sample with and without --publish (two recorders side by side);
#   2. STATIONS recorders (default 100) at --interval 100 for SECONDS: delivered per second, lost,
#      latency p99, the broker's and the recorders' processor time. Each has its own --station,
#      its own card and its own lock, as on separate PCs: every process loads its own simulated
#      driver, whose card 0 is its alone, and takes its lock in a folder of its own
#      (QV58163_LOCK_DIR);
#   3. one station at --interval 1 for SECONDS with the broker stopped for 20 s in the middle and
#      started again: lost, and the time from the broker's restart until the first sample taken
#      after it arrives (the queue drained).
# Prints the figures and writes them to docs/performance.md's section "Publishing to an MQTT
# broker" (bench/measure.sh keeps that section when it rewrites the rest).
#   bench/publish.sh [BUILD_DIR]      (default: build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
build="$(realpath -m "${1:-$root/build}")"
seconds="${SECONDS_PER_RUN:-60}"
stations="${STATIONS:-100}"

cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j2 --target qv58163-record QV58163 >/dev/null
recorder="$build/bin/qv58163-record"

scratch="$(mktemp -d)"
broker_pid=""
cleanup() {
    [ -z "$broker_pid" ] || kill "$broker_pid" 2>/dev/null || true
    jobs -p | xargs -r kill 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

port="$(freePort)"
cat >"$scratch/broker.conf" <<CONF
user $(id -un)
listener $port 127.0.0.1
allow_anonymous true
persistence true
persistence_location $scratch/
max_queued_messages 0
log_dest none
CONF

startBroker() {
    /usr/sbin/mosquitto -c "$scratch/broker.conf" 2>/dev/null &
    broker_pid=$!
    for _ in $(seq 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && return 0
        sleep 0.05
    done
    echo "publish.sh: the broker did not start" >&2
    exit 1
}
stopBroker() {
    kill "$broker_pid"
    wait "$broker_pid" || true
    broker_pid=""
}
# Processor time (user + system, in clock ticks) a process has used so far.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# A subscriber with a lasting session (it gets what was sent while it was away), writing
# "ARRIVAL TOPIC PAYLOAD" lines to $1.
subscribe() {
    mosquitto_sub -p "$port" -q 1 -c -i bench-subscriber -t 'qv58163/+/+/samples' \
        -F '%U %t %p' >>"$1" &
    echo $!
}
# A recorder with a lock folder of its own, NAME's: record NAME INTERVAL OUTPUT [OPTION]...
record() {
    local name="$1" interval="$2" output="$3"
    shift 3
    mkdir -p "$scratch/locks/$name"
    QV58163_LOCK_DIR="$scratch/locks/$name" "$recorder" --interval "$interval" \
        --duration "$seconds" --output "$output" --quiet "$@"
}
publish=(--publish "mqtt://127.0.0.1:$port")

# The samples that arrived, each once (by topic and elapsed_s: QoS 1 may send one twice): their
# number, the span of their arrival, and their latencies (ms, sorted) in $2.
arrivals() {
    TZ=UTC awk -v latencies="$2" '{
        time = $0; sub(/.*"time": "/, "", time); sub(/".*/, "", time)
        elapsed = $0; sub(/.*"elapsed_s": /, "", elapsed); sub(/,.*/, "", elapsed)
        key = $2 " " elapsed
        if (key in seen) { next }
        seen[key] = 1; n++
        taken = mktime(substr(time, 1, 4) " " substr(time, 6, 2) " " substr(time, 9, 2) " " \
                       substr(time, 12, 2) " " substr(time, 15, 2) " " substr(time, 18, 2)) \
                + substr(time, 21, 3) / 1000
        printf "%.3f\n", ($1 - taken) * 1000 >latencies
    } END { print n + 0 }' "$1"
    sort -n -o "$2" "$2"
}
percentile() { awk -v p="$2" '{v[NR] = $1} END {i = int(NR * p / 100 + 0.5); if (i < 1) i = 1; print v[i]}' "$1"; }
rows() { cat "$@" | grep -vc '^time,'; }

# 1. One station at 1 ms, and beside it the same without --publish.
startBroker
sub="$(subscribe "$scratch/one.log")"
cpuMs record one 1 "$scratch/one.csv" --station one "${publish[@]}" >"$scratch/one.cpu" &
with=$!
cpuMs record bare 1 "$scratch/bare.csv" >"$scratch/bare.cpu" &
without=$!
wait "$with" "$without"
sleep 1
kill "$sub"
one_rows="$(rows "$scratch/one.csv")"
bare_rows="$(rows "$scratch/bare.csv")"
one_got="$(arrivals "$scratch/one.log" "$scratch/one.lat")"
one_cpu="$(awk -v c="$(cat "$scratch/one.cpu")" -v n="$one_rows" 'BEGIN {printf "%.1f", c * 1000 / n}')"
bare_cpu="$(awk -v c="$(cat "$scratch/bare.cpu")" -v n="$bare_rows" 'BEGIN {printf "%.1f", c * 1000 / n}')"

# 2. STATIONS stations at 100 ms.
sub="$(subscribe "$scratch/many.log")"
broker_before="$(ticks "$broker_pid")"
many_cpu="$(cpuMs bash -c "$(declare -f record); recorder='$recorder' scratch='$scratch' \
    seconds='$seconds'; for i in \$(seq $stations); do record st\$i 100 '$scratch'/st\$i.csv \
    --station st\$i ${publish[*]} & done; wait")"
broker_ticks=$(($(ticks "$broker_pid") - broker_before))
sleep 1
kill "$sub"
many_rows="$(rows "$scratch"/st*.csv)"
many_got="$(arrivals "$scratch/many.log" "$scratch/many.lat")"
clk="$(getconf CLK_TCK)"

# 3. The broker away for 20 s in the middle of a 1 ms run.
sub="$(subscribe "$scratch/away.log")"
record away 1 "$scratch/away.csv" --station away --report "$scratch/away.json" "${publish[@]}" &
run=$!
sleep $((seconds / 2 - 10))
kill "$sub"
stopped="$(date +%s.%N)"
stopBroker
sleep 20
startBroker
restarted="$(date +%s.%N)"
sub="$(subscribe "$scratch/away.log")"
wait "$run" || true
sleep 1
kill "$sub"
away_rows="$(rows "$scratch/away.csv")"
away_got="$(arrivals "$scratch/away.log" "$scratch/away.lat")"
# After the restart: when the first sample taken while the broker was away arrived (the recorder's
# next try succeeded), and when the first sample taken after the restart arrived (the queue
# drained), both from the restart.
reconnected=0
drain=0
read -r reconnected drain < <(TZ=UTC awk -v r="$restarted" -v s="$stopped" '{
    time = $0; sub(/.*"time": "/, "", time); sub(/".*/, "", time)
    taken = mktime(substr(time, 1, 4) " " substr(time, 6, 2) " " substr(time, 9, 2) " " \
                   substr(time, 12, 2) " " substr(time, 15, 2) " " substr(time, 18, 2)) \
            + substr(time, 21, 3) / 1000
    if (taken > s + 0.1 && !first) { first = $1 - r }
    if (taken >= r) { printf "%.2f %.2f\n", first, $1 - r; exit }
}' "$scratch/away.log")
reconnected_whole="$(printf '%.0f' "$reconnected")"
stopBroker

machine="$(nproc) cores ($(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)), $(free -g | awk '/Mem:/ {print $2}') GiB, $(. /etc/os-release && echo "$PRETTY_NAME"), mosquitto $(/usr/sbin/mosquitto -h | awk 'NR == 1 {print $3}'); load average when done: $(cut -d' ' -f1-3 /proc/loadavg)"
section="$scratch/section.md"
cat >"$section" <<REPORT
## Publishing to an MQTT broker

Measured by \`bench/publish.sh\` on $(date -u +%F), runs of $seconds s, on the simulated card,
publishing to Debian's mosquitto started by the benchmark on a free local port (QoS 1). Latency is
from a sample's \`time\` (taken before the read, to the millisecond) to a subscriber's arrival
(mosquitto_sub on the same machine, each sample counted once). Build type: as configured in
\`$(basename "$build")\`.

Machine: $machine.

| Run | Samples taken | Delivered | Lost | Delivered per second | Latency p50 | Latency p99 |
| --- | --- | --- | --- | --- | --- | --- |
| 1 station, \`--interval 1\` | $one_rows | $one_got | $((one_rows - one_got)) | $((one_got / seconds)) | $(percentile "$scratch/one.lat" 50) ms | $(percentile "$scratch/one.lat" 99) ms |
| $stations stations, \`--interval 100\` | $many_rows | $many_got | $((many_rows - many_got)) | $((many_got / seconds)) | $(percentile "$scratch/many.lat" 50) ms | $(percentile "$scratch/many.lat" 99) ms |
| 1 station, \`--interval 1\`, broker stopped for 20 s mid-run | $away_rows | $away_got | $((away_rows - away_got)) | | | |

- Recorder processor time per sample at \`--interval 1\`, side by side: $one_cpu µs with
  \`--publish\`, $bare_cpu µs without: publishing adds $(awk -v a="$one_cpu" -v b="$bare_cpu" 'BEGIN {printf "%.1f", a - b}') µs a sample.
- $stations stations: the broker used $(awk -v t="$broker_ticks" -v c="$clk" -v s="$seconds" 'BEGIN {printf "%.1f s of processor time (%.1f %% of one core)", t / c, t / c / s * 100}'),
  the $stations recorders together $(awk -v m="$many_cpu" -v s="$seconds" -v n="$stations" 'BEGIN {printf "%.1f s (%.1f %% of one core; %.0f ms each, start-up included)", m / 1000, m / 10 / s, m / n}').
- Broker stopped for 20 s: the recorder was back $reconnected s after the restart (its next try:
  they come 1, 2, 4, 8, 16 and then 30 s apart), and the first sample taken after the restart
  arrived $drain s after it, the queue of the $((20 + reconnected_whole)) s before it drained in order; the recorder's report: $(tr -d ' \n' <"$scratch/away.json" | grep -o '"published":{[^}]*}' || echo "-"), exit status $(tr -d ' \n' <"$scratch/away.json" | grep -o '"exitStatus":[0-9]*' | cut -d: -f2).
REPORT
cat "$section"

# The section replaces its former self at the end of docs/performance.md.
doc="$root/docs/performance.md"
{
    sed '/^## Publishing to an MQTT broker$/,$d' "$doc" | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}'
    echo
    cat "$section"
} >"$scratch/doc.md"
cp "$scratch/doc.md" "$doc"
echo "wrote $doc"
