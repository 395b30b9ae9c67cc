#!/usr/bin/env bash
# The built program as a whole process, driven the way an operator would, in a real X server of
# its own: the ways it ends and the status it ends with. Exits 77 (skipped) when a check could not
# run.
#   run_program.sh PROGRAM_DIR
set -euo pipefail
. "$(dirname "$0")/../../scripts/lib.sh"
inOwnXServer "$@"
bin_dir="$1"
scratch="$(mktemp -d)"
onExit rm -rf "$scratch"
onExit endJobs
useScratchRuntime "$scratch"
# Card locks of its own, never those of a panel or recorder on this machine.
export QV58163_LOCK_DIR="$scratch"

# Starts PROGRAM in the background, waits for a window titled TITLE, sends KEYS to it, and waits
# for the program to end. Sets $status (124 if it did not end), $found (yes if the window came) and
# $main_shown (yes if the main window was on screen when the keys were sent).
drive() {  # drive PROGRAM TITLE KEYS...
    local program="$1" title="$2" pid window
    shift 2
    "$program" >"$scratch/stdout" 2>"$scratch/stderr" &
    pid=$!
    found="" main_shown=""
    if window="$(findWindow 10 "$title")"; then
        found=yes
        sleep 0.3
        main_shown="$(xdotool search --onlyvisible --name '^QV58163 Main$' 2>/dev/null || true)"
        keysTo "$window" "$@" 2>/dev/null || true
    fi
    status=0
    if waitUntil 10 eval '! kill -0 "$pid" 2>/dev/null'; then
        wait "$pid" || status=$?
    else
        endJobs
        status=124
    fi
}
# The status the program ended with is $1; otherwise says which, and what it wrote on stderr.
endedWith() {
    [ "$status" = "$1" ] || fail "status $status, not $1; stderr: $(cat "$scratch/stderr")"
}

# An operator's exit from the menu bar by its access key ends the process with status 0 (what an
# exit does to the driver is checked on the procedures).
drive "$bin_dir/qv58163" "QV58163 Main" alt+e
check "the main window is shown" -- test -n "$found"
check "Alt+E exits with status 0" -- endedWith 0

# The driver fails to open: the message, status 2, the window never shown (the calls it makes are
# checked on the procedures).
QV58163_SIM_INITIAL_STATUS=3 drive "$bin_dir/qv58163" "QV58163" Return
check "the failure message box is shown" -- test -n "$found"
check "the main window is never shown" -- test -z "$main_shown"
check "a failed driver ends with status 2" -- endedWith 2

# The panel holds the card it addresses (the last one found): a recorder on it is refused, naming
# the panel.
QV58163_SIM_CARDS=2,3 "$bin_dir/qv58163" >"$scratch/stdout" 2>"$scratch/stderr" &
panel=$!
findWindow 10 'QV58163 Main' >/dev/null || true
status=0
QV58163_SIM_CARDS=2,3 "$bin_dir/qv58163-record" --card 3 --count 1 2>"$scratch/stderr" >/dev/null || status=$?
check "a recorder on the panel's card ends with status 2" -- endedWith 2
check "the recorder names the panel" -- \
    grep -qxF "qv58163-record: card 3 is in use by process $panel (qv58163)" "$scratch/stderr"
endJobs

# No driver anywhere: the run-time error report, on screen and on standard error, status 1.
if /sbin/ldconfig -p 2>/dev/null | grep -q 'libQV58163\.so '; then
    echo "skip a missing driver: one is installed on the system's library path"
    exit 77
fi
mkdir -p "$scratch/alone"
cp "$bin_dir/qv58163" "$scratch/alone/"
# Run from the build's bin directory: a driver in the working directory must not be taken.
cd "$bin_dir"
drive "$scratch/alone/qv58163" "QV58163" Return
check "a missing driver ends with status 1" -- endedWith 1
check "the report names the library" -- \
    grep -q '^Run-time error: the driver library libQV58163.so could not be loaded' "$scratch/stderr"
