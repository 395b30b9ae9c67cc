#!/usr/bin/env bash
# The built program as a whole process, driven the way an operator would, in a real X server of
# its own: the ways it ends and the status it ends with. Exits 77 (skipped) when a check could not
# run.
#   run_program.sh PROGRAM_DIR
set -uo pipefail
. "$(dirname "$0")/../../scripts/lib.sh"
inOwnXServer "$@"
bin_dir="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

failures=0
passed=0
skipped=0
check() {  # check NAME CONDITION-RESULT DETAIL
    if [ "$2" = 0 ]; then
        passed=$((passed + 1))
        echo "ok   $1"
    else
        failures=$((failures + 1))
        echo "FAIL $1: $3"
    fi
}

export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
# Card locks of its own, never those of a panel or recorder on this machine.
export QV58163_LOCK_DIR="$scratch"

# Starts PROGRAM in the background, waits for a window titled TITLE, sends KEYS to it, and waits
# for the program to end. Sets $status (124 if it did not end), $found (0 if the window came) and
# $main_shown (0 if the main window was on screen when the keys were sent).
drive() {  # drive PROGRAM TITLE KEYS...
    local program="$1" title="$2"
    shift 2
    "$program" >"$scratch/stdout" 2>"$scratch/stderr" &
    local pid=$!
    local window
    window="$(timeout 10 xdotool search --sync --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)"
    found=$([ -n "$window" ] && echo 0 || echo 1)
    main_shown=1
    if [ -n "$window" ]; then
        sleep 0.3
        [ -n "$(xdotool search --onlyvisible --name '^QV58163 Main$' 2>/dev/null)" ] && main_shown=0
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
        xdotool key --window "$window" "$@" 2>/dev/null
    fi
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        kill -9 "$pid"
        wait "$pid" 2>/dev/null
        status=124
    else
        wait "$pid"
        status=$?
    fi
}

# An operator's exit from the menu bar by its access key ends the process with status 0 (what an
# exit does to the driver is checked on the procedures).
drive "$bin_dir/qv58163" "QV58163 Main" alt+e
check "the main window is shown" "$found" "no window"
check "Alt+E exits with status 0" "$([ "$status" = 0 ] && echo 0 || echo 1)" \
    "status $status; stderr: $(cat "$scratch/stderr")"

# The driver fails to open: the message, status 2, the window never shown (the calls it makes are
# checked on the procedures).
QV58163_SIM_INITIAL_STATUS=3 drive "$bin_dir/qv58163" "QV58163" Return
check "the failure message box is shown" "$found" "no message box"
check "the main window is never shown" "$([ "$main_shown" = 1 ] && echo 0 || echo 1)" "it was"
check "a failed driver ends with status 2" "$([ "$status" = 2 ] && echo 0 || echo 1)" "status $status"

# The panel holds the card it addresses (the last one found): a recorder on it is refused, naming
# the panel.
QV58163_SIM_CARDS=2,3 "$bin_dir/qv58163" >"$scratch/stdout" 2>"$scratch/stderr" &
panel=$!
timeout 10 xdotool search --sync --onlyvisible --name '^QV58163 Main$' >/dev/null 2>&1
QV58163_SIM_CARDS=2,3 "$bin_dir/qv58163-record" --card 3 --count 1 2>"$scratch/recorder" >/dev/null
recorded=$?
said="qv58163-record: card 3 is in use by process $panel (qv58163)"
check "a recorder on the panel's card ends with status 2" "$([ $recorded = 2 ] && echo 0 || echo 1)" \
    "status $recorded"
check "the recorder names the panel" "$(grep -qxF "$said" "$scratch/recorder" && echo 0 || echo 1)" \
    "$(cat "$scratch/recorder")"
kill "$panel"
wait "$panel" 2>/dev/null

# No driver anywhere: the run-time error report, on screen and on standard error, status 1.
mkdir -p "$scratch/alone"
cp "$bin_dir/qv58163" "$scratch/alone/"
if ! /sbin/ldconfig -p 2>/dev/null | grep -q 'libQV58163\.so '; then
    # Run from the build's bin directory: a driver in the working directory must not be taken.
    pushd "$bin_dir" >/dev/null
    drive "$scratch/alone/qv58163" "QV58163" Return
    popd >/dev/null
    check "a missing driver ends with status 1" "$([ "$status" = 1 ] && echo 0 || echo 1)" "status $status"
    check "the report names the library" \
        "$(grep -q '^Run-time error: the driver library libQV58163.so could not be loaded' "$scratch/stderr" && echo 0 || echo 1)" \
        "stderr: $(cat "$scratch/stderr")"
else
    skipped=$((skipped + 1))
    echo "skip a missing driver: one is installed on the system's library path"
fi

echo "$passed passed, $failures failed, $skipped skipped"
[ "$failures" = 0 ] || exit 1
[ "$skipped" = 0 ] || exit 77
