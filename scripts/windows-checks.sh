#!/usr/bin/env bash
# The Windows program under Wine, as an operator meets it. Runs inside an X server (windows.sh
# starts it under xvfb-run), in a Wine prefix of its own that is thrown away afterwards:
#   scripts/windows-checks.sh BIN_DIR [SCREENSHOT.png]
# BIN_DIR holds qv58163.exe, the simulated card's QV58163.dll and qv58163_wine_text_fit.exe, and
# the simulated card built 32-bit in driver32/QV58163.dll.
# Every failure names the check and shows what the program said; the exit status is 1.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin="$(realpath "$1")"
shot="${2:-}"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

scratch="$(mktemp -d)"
export WINEPREFIX="$scratch/prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko: their installers would stop the first start with a question.
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset QT_QPA_PLATFORM WAYLAND_DISPLAY QV58163_SIM_TRACE

pids=()
cleanup() {
    local status=$?
    set +e
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    "$wineserver" -k 2>/dev/null
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    "$wineserver" -w 2>/dev/null
    rm -rf "$scratch"
    exit "$status"
}
trap cleanup EXIT

check=""
# Names the check that failed and shows the end of what each program said (lib.sh's, extended).
fail() {
    echo "FAILED: $check: $*" >&2
    for f in "$scratch"/*.err; do
        [ -s "$f" ] && { echo "--- $(basename "$f")" && tail -n 20 "$f"; } >&2
    done
    exit 1
}
pass() { echo "ok: $check${1:+ ($1)}"; }

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Starts the panel: run_panel NAME EXE WORKING_DIR [TRACE]; leaves its id in $panel.
run_panel() {
    local name="$1" exe="$2" cwd="$3" trace="${4:-}"
    (cd "$cwd" && QV58163_SIM_TRACE="${trace:+$(windows_path "$trace")}" \
        exec timeout -k 10 300 "$wine" "$exe" >"$scratch/$name.out" 2>"$scratch/$name.err") &
    panel=$!
    pids+=("$panel")
}

# Waits for the panel to end and leaves its exit status in $status (124: it was still running
# after five minutes). Not in a subshell: only this shell can wait for it.
wait_panel() {
    status=0
    wait "$panel" || status=$?
}

# A visible top-level window with exactly this title; its id.
find_window() {
    timeout 120 xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

# Keys to a window: there is no window manager, so the window is given the focus directly.
keys_to() {
    local window="$1"
    shift
    xdotool windowfocus --sync "$window"
    sleep 0.5
    xdotool key --delay 150 "$@"
}

# Ends a run of the panel with its exit command, Alt+E, and checks it went as an operator expects.
exit_panel() {
    local window="$1" trace="$2"
    keys_to "$window" alt+e
    wait_panel
    [ "$status" = 0 ] || fail "the exit command ended with status $status"
    # The driver writes its trace in Windows' text mode: lines end in CR LF.
    local last
    last="$(tail -n1 "$trace" | tr -d '\r')"
    [ "$last" = "QV58163_close() = 0" ] || fail "the driver was not closed last: $last"
}

reads_of() { grep -cE "^QV58163_AD_integral_all_read\\($1[,)]" "$2" || true; }

echo "Preparing a Wine prefix"
# Windows' fonts, not this machine's: Wine would otherwise offer every face fontconfig knows (the
# Liberation and AR PL faces among them), which a Windows machine does not have. Wine's Tahoma
# stands in for the system's interface face; the program brings the rest.
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$scratch/fonts.conf"
export FONTCONFIG_FILE="$scratch/fonts.conf"
"$wine" wineboot --init >"$scratch/wineboot.log" 2>&1 || fail "wineboot: $(tail "$scratch/wineboot.log")"
"$wineserver" -w
system32="$WINEPREFIX/drive_c/windows/system32"
[ -d "$system32" ] || fail "no system directory in the Wine prefix"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

mkdir -p "$scratch/app" "$scratch/alone" "$scratch/elsewhere" "$scratch/decoy"
cp "$bin/qv58163.exe" "$bin/QV58163.dll" "$scratch/app/"
cp "$bin/qv58163.exe" "$scratch/alone/"
cp "$bin/QV58163.dll" "$scratch/decoy/"

check="the window shows with its controls, START reads the chosen card ten times a second"
trace="$scratch/beside.trace"
run_panel beside "$scratch/app/qv58163.exe" "$scratch/elsewhere" "$trace"
window="$(find_window 'QV58163 Main')"
[ -n "$window" ] || fail "no window"
grep -q '^QV58163_initial() = 0' "$trace" || fail "the driver beside the program was not opened"
# Four Tabs from the card list reach START.
keys_to "$window" Tab Tab Tab Tab space
waitUntil 30 grep -q '^QV58163_AD_integral_start(' "$trace" || fail "START did not take"
card="$(sed -n 's/^QV58163_AD_integral_start(\([0-9]*\),.*/\1/p' "$trace" | head -n1)"
sleep 1
before="$(reads_of "$card" "$trace")"
sleep 5
after="$(reads_of "$card" "$trace")"
reads=$((after - before))
# Ten a second, give or take what a loaded machine and Wine's timers do to a 100 ms timer.
{ [ "$reads" -ge 30 ] && [ "$reads" -le 60 ]; } || fail "$reads reads of card $card in 5 s"
others="$(grep '^QV58163_AD_integral_all_read(' "$trace" |
    grep -vcE "^QV58163_AD_integral_all_read\\($card[,)]" || true)"
[ "$others" = 0 ] || fail "$others reads of another card than $card"
# What the operator sees: the eight black value labels and their yellow text.
import -window "$window" "$scratch/panel.png"
histogram="$(convert "$scratch/panel.png" -format %c histogram:info:-)"
black="$(awk '/#000000 /{print $1+0}' <<<"$histogram")"
yellow="$(awk '/#FFFF00 /{print $1+0}' <<<"$histogram")"
{ [ "${black:-0}" -ge 8000 ] && [ "${yellow:-0}" -ge 300 ]; } ||
    fail "the value labels are not drawn (black ${black:-0}, yellow ${yellow:-0} pixels)"
if [ -n "$shot" ]; then
    cp "$scratch/panel.png" "$shot"
fi
pass "card $card, $reads reads in 5 s"

check="the exit command ends with status 0 and the driver closed"
exit_panel "$window" "$trace"
pass

# The run-time error report is a modal message box; the operator dismisses it with Return.
expect_missing_driver() {
    local name="$1"
    local box
    box="$(find_window QV58163)"
    [ -n "$box" ] || fail "no error report"
    keys_to "$box" Return
    wait_panel
    [ "$status" = 1 ] || fail "status $status, not 1"
    grep -q 'Run-time error: .*QV58163\.dll' "$scratch/$name.err" ||
        fail "the report does not name QV58163.dll: $(cat "$scratch/$name.err")"
}

check="a missing QV58163.dll is a run-time error naming it, status 1"
run_panel missing "$scratch/alone/qv58163.exe" "$scratch/elsewhere"
expect_missing_driver missing
pass

check="a QV58163.dll only in the working directory is not loaded"
trace="$scratch/decoy.trace"
run_panel decoy "$scratch/alone/qv58163.exe" "$scratch/decoy" "$trace"
expect_missing_driver decoy
[ ! -s "$trace" ] || fail "the working directory's driver was called: $(head -n1 "$trace")"
pass

check="a QV58163.dll only in the system directory is loaded"
cp "$bin/QV58163.dll" "$system32/"
trace="$scratch/system.trace"
run_panel system "$scratch/alone/qv58163.exe" "$scratch/elsewhere" "$trace"
window="$(find_window 'QV58163 Main')"
[ -n "$window" ] || fail "no window"
grep -q '^QV58163_initial() = 0' "$trace" || fail "the system directory's driver was not opened"
exit_panel "$window" "$trace"
rm "$system32/QV58163.dll"
pass

check="a 32-bit QV58163.dll beside the program is named as such, status 1"
mkdir -p "$scratch/word32"
cp "$bin/qv58163.exe" "$bin/driver32/QV58163.dll" "$scratch/word32/"
run_panel word32 "$scratch/word32/qv58163.exe" "$scratch/elsewhere"
expect_missing_driver word32
grep -q 'QV58163\.dll is a 32-bit library and this program is 64-bit, .*(the windows-x86 zip)' \
    "$scratch/word32.err" ||
    fail "the report does not say the driver is 32-bit: $(cat "$scratch/word32.err")"
pass

check="the captions and list entries fit their controls in the fonts the program gets"
# The desktop tests' text-fit cases, cross-built. A desktop program writes no console: its report
# goes to an XML file.
report="$scratch/fit.xml"
"$wine" "$bin/qv58163_wine_text_fit.exe" --gtest_filter='TextFit.*' \
    --gtest_output="xml:$(windows_path "$report")" >"$scratch/fit.out" 2>"$scratch/fit.err" || true
[ -s "$report" ] || fail "no report from the text-fit cases"
failures="$(grep -o '<failure message="[^"]*"' "$report" | sed 's/&#x0A;/ /g; s/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g' || true)"
[ -z "$failures" ] || fail "$failures"
tests="$(grep -c '<testcase ' "$report" || true)"
[ "$tests" -ge 4 ] || fail "only $tests text-fit cases ran"
pass "$tests cases"
