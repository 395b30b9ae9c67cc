#!/usr/bin/env bash
# The checks of the recorder's service, run as root in a machine whose PID 1 is systemd (the
# emulated one of scripts/service-guest.sh, which brings this file as its job's run.sh, lib.sh and
# the two packages beside it). Installs the packages, then starts, stops, kills and ends instances
# of qv58163-record@ci as systemd runs them. Every check runs, a failed one too: its line
# ("ok: NAME" or "FAILED: NAME: why") goes to OUT_DIR/results, the commands' output to the job's
# log; the status is 1 when any check failed.
#   service-checks.sh OUT_DIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="$1"

unit=qv58163-record@ci.service
config=/etc/qv58163/record-ci.conf
state=/var/lib/qv58163
header="time,elapsed_s,CH00,CH01,CH02,CH03,CH04,CH05,CH06,CH07,status"

failed=0
# A check in a shell of its own, so that one that fails ends there and the next still runs. It runs
# as a background job: a shell on the left of || would run it with set -e and the ERR trap off.
runCheck() {
    (check "$@") >>"$out/results" 2>&1 &
    wait $! || failed=1
}

# A property of the unit, as systemctl show gives it.
property() { systemctl show -p "$1" --value "$unit"; }
# The unit's state for messages.
unitState() {
    echo "$(property ActiveState)/$(property SubState), status $(property ExecMainStatus)," \
        "restarts $(property NRestarts)"
}
# The instance's configuration: the installed example with these recorder options.
configure() {
    sed "s#^QV58163_RECORD_OPTIONS=.*#QV58163_RECORD_OPTIONS=$1#" /etc/qv58163/record-example.conf >"$config"
    grep -qx "QV58163_RECORD_OPTIONS=$1" "$config"
}
# The {start} of each run that wrote a CSV file named ci-{start}-..., one a line.
runStarts() {
    find "$state/" -maxdepth 1 -name 'ci-*.csv' -printf '%f\n' |
        sed -n 's/^ci-\([0-9]\{8\}T[0-9]\{6\}Z\)-.*\.csv$/\1/p' | sort -u
}
# The unit stopped (a check that failed may have left it running or restarting), a failed run of
# it forgotten (its state, its restarts; an unloaded unit has none) and the runs' ends cleared.
fresh() {
    systemctl stop "$unit"
    [ "$(property LoadState)" != loaded ] || [ "$(property ActiveState)" != failed ] ||
        systemctl reset-failed "$unit"
    : >"$ends"
}
# Whether the unit is in this ActiveState.
inState() { [ "$(property ActiveState)" = "$1" ]; }
# Whether there are at least N CSV files of the instance.
csvFiles() { [ "$(find "$state/" -maxdepth 1 -name 'ci-*.csv' | wc -l)" -ge "$1" ]; }
# Whether a run other than those listed (runStarts) wrote a file.
newRun() { [ "$(runStarts)" != "$1" ]; }
# The recorder's part of the instance's journal, and whether a line of it matches a pattern.
unitJournal() { journalctl -b -u "$unit" --no-pager -o cat; }
inJournal() { unitJournal | grep -q "$1"; }
# How each run since the last call ended, as systemd saw it, one a line: result, code, status
# ("success exited 0", "signal killed KILL", ...). The unit's ExecMainStatus cannot tell: a unit
# that ends inactive is unloaded, and one loaded afresh says 0.
ends=/run/qv58163-ci.ends
runEnds() {
    cat "$ends" 2>/dev/null || true
    : >"$ends"
}

isSystemd() {
    [ "$(cat /proc/1/comm)" = systemd ] || fail "PID 1 is $(cat /proc/1/comm)"
    checkNote="$(systemctl is-system-running || true)"
}
runCheck "PID 1 is systemd" -- isSystemd

# The packages, and the checks' drop-in: a crash restarted after 1 s rather than 10, and how each
# run ended, written by systemd's own hands (+: outside the service's sandbox).
installPackages() {
    dpkg -i "$here"/qv58163_*.deb "$here"/qv58163-simulated-driver_*.deb >>"$out/commands.log" 2>&1 ||
        fail "$(tail -n 20 "$out/commands.log")"
    mkdir -p "/run/systemd/system/$unit.d"
    cat >"/run/systemd/system/$unit.d/checks.conf" <<EOF
[Service]
RestartSec=1
ExecStopPost=+/bin/sh -c 'echo "\$\$SERVICE_RESULT \$\$EXIT_CODE \$\$EXIT_STATUS" >>$ends'
EOF
    systemctl daemon-reload
    [ "$(property RestartUSec)" = 1s ] || fail "RestartSec is $(property RestartUSec)"
}
runCheck "dpkg installs both packages, systemd loads the unit with the checks' drop-in" -- installPackages

# An open-ended run in slices of 2 s, stopped once the second slice is complete (a third is open):
# a clean stop is status 0, every slice starts with the header, the report says "stopped", the
# files are the dynamic user's and the summary is in the journal.
startStop() {
    local pid uid slices=() slice reports=() end
    fresh
    configure "--interval 100 --split 2s --output $state/ci-{start}.csv --report $state/ci-{start}.json"
    systemctl start "$unit"
    waitUntil 60 csvFiles 3 ||
        fail "fewer than 3 slices: $(ls -l "$state/") $(unitState) $(unitJournal)"
    pid="$(property MainPID)"
    uid="$(awk '/^Uid:/ {print $2}' "/proc/$pid/status")"
    systemctl stop "$unit"
    end="$(runEnds)"
    [ "$end" = "success exited 0" ] || fail "it ended: $end"
    # systemd's range of dynamic users: a user of the service's own, not root nor one of the system's.
    if [ "$uid" -lt 61184 ] || [ "$uid" -gt 65519 ]; then
        fail "the recorder ran as user $uid"
    fi
    mapfile -t slices < <(find "$state/" -maxdepth 1 -name 'ci-*.csv' | sort)
    [ ${#slices[@]} -ge 2 ] || fail "slices: ${slices[*]}"
    for slice in "${slices[@]}"; do
        [ "$(head -n1 "$slice")" = "$header" ] || fail "$slice begins: $(head -n1 "$slice")"
    done
    mapfile -t reports < <(find "$state/" -maxdepth 1 -name 'ci-*.json')
    [ ${#reports[@]} -eq 1 ] || fail "reports: ${reports[*]}"
    grep -q '"ended": "stopped"' "${reports[0]}" || fail "the report: $(cat "${reports[0]}")"
    for slice in "${slices[@]}" "${reports[0]}" "$state/"; do
        [ "$(stat -L -c %u "$slice")" = "$uid" ] || fail "$slice is $(stat -L -c %U "$slice")'s"
    done
    waitUntil 10 inJournal "^samples: [0-9]*, failed reads: 0," ||
        fail "no summary in the journal: $(unitJournal)"
    unitJournal | grep -qF "slice ${slices[0]}: " ||
        fail "no slice in the journal's summary: $(unitJournal)"
    checkNote="${#slices[@]} slices, user $uid"
}
runCheck "a run started by systemctl records in slices, stops cleanly and reports it" -- startStop

# A crash (SIGKILL) is restarted, after 1 s rather than the unit's 10 for the checks, by a new
# process that records into a file of its own {start}.
restartAfterCrash() {
    local before first pid end
    fresh
    before="$(runStarts)"
    systemctl start "$unit"
    waitUntil 60 newRun "$before" || fail "no file: $(unitState)"
    first="$(runStarts)"
    pid="$(property MainPID)"
    systemctl kill -s KILL "$unit"
    waitUntil 60 newRun "$first" || fail "not restarted: $(unitState)"
    inState active || fail "$(unitState)"
    [ "$(property NRestarts)" = 1 ] || fail "$(unitState)"
    [ "$(property MainPID)" != "$pid" ] || fail "the same process $pid"
    checkNote="process $pid killed, $(property MainPID) in its place, $(comm -13 <(echo "$first") <(runStarts))"
    systemctl stop "$unit"
    end="$(runEnds)"
    [ "$end" = $'signal killed KILL\nsuccess exited 0' ] || fail "the runs ended: ${end//$'\n'/, }"
}
runCheck "a recorder killed by SIGKILL is restarted and records into a new file" -- restartAfterCrash

# A run that ends on purpose is not restarted: endedOnPurpose OPTIONS END STATE, END as runEnds
# gives it. Had systemd meant to restart it, the unit would wait in activating/auto-restart, never
# inactive or failed, and would end more than once.
endedOnPurpose() {
    fresh
    [ "$(property NRestarts)" = 0 ] || fail "before: $(unitState)"
    configure "$1"
    systemctl start "$unit"
    waitUntil 60 inState "$3" || fail "$(unitState)"
    [ "$(property NRestarts)" = 0 ] || fail "$(unitState)"
    local end
    end="$(runEnds)"
    [ "$end" = "$2" ] || fail "the runs ended: ${end//$'\n'/, }"
    checkNote="$(unitState)"
}
runCheck "a run of --count 5 ends 0 and is not restarted" -- \
    endedOnPurpose "--interval 100 --count 5 --output $state/count-{start}.csv" "success exited 0" inactive
# The simulated channel 0 never reads 100 V.
runCheck "a run whose --check fails ends 3 and is not restarted" -- \
    endedOnPurpose "--interval 100 --count 5 --check 0=100:200 --output $state/check-{start}.csv" \
    "exit-code exited 3" failed

# systemd's own measure of what the service may reach; OK or better (SAFE).
exposure() {
    local line
    line="$(systemd-analyze security --no-pager "$unit" | grep 'Overall exposure level')"
    checkNote="${line#*: }"
    [[ "$checkNote" =~ ^[0-9.]+\ (SAFE|OK) ]] || fail "$line"
}
runCheck "systemd-analyze security rates the service OK or better" -- exposure

systemd-analyze time | head -n1 >"$out/startup" || true
# The status: 1 when a check failed.
[ "$failed" = 0 ]
