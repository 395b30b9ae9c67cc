#!/usr/bin/env bash
# The Windows programs under Wine, as an operator meets them. Runs inside an X server (windows.sh
# starts it under xvfb-run, on this machine or in the emulated one):
#   scripts/windows-checks.sh BIN_DIR MSI_DIR [SCREENSHOT.png]
# BIN_DIR holds qv58163.exe, qv58163-record.exe, the simulated card's QV58163.dll,
# qv58163_wine_text_fit.exe, the simulated card built for the other word size in
# other-word-size/QV58163.dll, what the Linux recorder wrote for the fixed inputs below in
# linux-fixed.csv and, for the 32-bit programs, the simulated card with decorated export names in
# decorated-*/QV58163.dll. MSI_DIR holds the installer qv58163-VERSION-windows-ARCH.msi of those
# programs, and in older/ one of a lower version, whose README.txt differs.
# The Wine is the 64-bit one unless QV58163_WINE and QV58163_WINESERVER name another and WINEARCH
# says win32. A WINEPREFIX that exists already is used as it is (the emulated machine's, made once
# and thrown away with the machine's run); otherwise a prefix of its own is made and removed.
# Every failure names the check and shows what the program said; the exit status is 1.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
bin="$(realpath "$1")"
msiDir="$(realpath "$2")"
shot="${3:-}"
wine="${QV58163_WINE:-/usr/lib/wine/wine64}"
wineserver="${QV58163_WINESERVER:-/usr/lib/wine/wineserver}"
export WINEARCH="${WINEARCH:-win64}"
case "$WINEARCH" in
win64) bits=64 otherBits=32 otherZip=windows-x86 ;;
win32) bits=32 otherBits=64 otherZip=windows-x64 ;;
*) fail "WINEARCH must be win64 or win32, not $WINEARCH" ;;
esac

scratch="$(mktemp -d)"
prefixMade=""
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/drive_c" ]; then
    export WINEPREFIX="$scratch/prefix"
    prefixMade=yes
fi
export WINEDEBUG=-all
# No Mono or Gecko: their installers would stop the first start with a question. No menu entries
# on this machine's desktop for the shortcuts the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export LC_ALL=C.UTF-8 LANG=C.UTF-8
unset QT_QPA_PLATFORM WAYLAND_DISPLAY QV58163_SIM_TRACE

# Ends every Wine program of the checks, then the Wine server, and removes the scratch folder.
endWine() {
    "$wineserver" -k 2>/dev/null
    endJobs
    "$wineserver" -w 2>/dev/null
}
onExit rm -rf "$scratch"
onExit endWine

# lib.sh's fail, with the end of what each program said.
fail() {
    echo "FAILED: ${checkName:-preparing Wine}: $*" >&2
    for f in "$scratch"/*.err; do
        [ -s "$f" ] && { echo "--- $(basename "$f")" && tail -n 20 "$f"; } >&2
    done
    exit 1
}
failOnError

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Seconds since the machine started, by its monotonic clock (an emulated machine's wall clock
# jumps), and the seconds since such a reading.
uptimeNow() { cut -d' ' -f1 /proc/uptime; }
since() { awk -v now="$(uptimeNow)" -v then="$1" 'BEGIN { printf "%.1f", now - then }'; }

# Starts the panel: run_panel NAME EXE WORKING_DIR [TRACE]; leaves its id in $panel.
run_panel() {
    local name="$1" exe="$2" cwd="$3" trace="${4:-}"
    (cd "$cwd" && QV58163_SIM_TRACE="${trace:+$(windows_path "$trace")}" \
        exec timeout -k 10 300 "$wine" "$exe" >"$scratch/$name.out" 2>"$scratch/$name.err") &
    panel=$!
}

# Waits for the panel to end and leaves its exit status in $status (124: it was still running
# after five minutes). Not in a subshell: only this shell can wait for it.
wait_panel() {
    status=0
    wait "$panel" || status=$?
}

# Ends a run of the panel with its exit command, Alt+E, and checks it went as an operator expects.
exit_panel() {
    local window="$1" trace="$2"
    keysTo "$window" alt+e
    wait_panel
    [ "$status" = 0 ] || fail "the exit command ended with status $status"
    # The driver writes its trace in Windows' text mode: lines end in CR LF.
    local last
    last="$(tail -n1 "$trace" | tr -d '\r')"
    [ "$last" = "QV58163_close() = 0" ] || fail "the driver was not closed last: $last"
}

reads_of() { grep -cE "^QV58163_AD_integral_all_read\\($1[,)]" "$2" || true; }

# Windows' fonts, not this machine's: Wine would otherwise offer every face fontconfig knows (the
# Liberation and AR PL faces among them), which a Windows machine does not have. Wine's Tahoma
# stands in for the system's interface face; the program brings the rest.
printf '<?xml version="1.0"?>\n<fontconfig></fontconfig>\n' >"$scratch/fonts.conf"
export FONTCONFIG_FILE="$scratch/fonts.conf"
if [ -n "$prefixMade" ]; then
    echo "Preparing a Wine prefix"
    "$wine" wineboot --init >"$scratch/wineboot.log" 2>&1 || fail "wineboot: $(tail "$scratch/wineboot.log")"
    "$wineserver" -w
fi
# One Wine server for every program of the checks: each start is then seconds shorter.
"$wineserver" -p
system32="$WINEPREFIX/drive_c/windows/system32"
[ -d "$system32" ] || fail "no system directory in the Wine prefix"
cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"

mkdir -p "$scratch/app" "$scratch/alone" "$scratch/elsewhere" "$scratch/decoy"
cp "$bin/qv58163.exe" "$bin/qv58163-record.exe" "$bin/QV58163.dll" "$scratch/app/"
cp "$bin/qv58163.exe" "$scratch/alone/"
cp "$bin/QV58163.dll" "$scratch/decoy/"

startReads() {
    trace="$scratch/beside.trace"
    started="$(uptimeNow)"
    run_panel beside "$scratch/app/qv58163.exe" "$scratch/elsewhere" "$trace"
    window="$(findWindow 120 'QV58163 Main')" || fail "no window"
    shown="$(since "$started")"
    grep -q '^QV58163_initial() = 0' "$trace" || fail "the driver beside the program was not opened"
    pressStart "$window"
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
        grep -vcE "^QV58163_AD_integral_all_read\\(${card}[,)]" || true)"
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
    checkNote="window after $shown s; card $card, $reads reads in 5 s"
}
check "the window shows with its controls, START reads the chosen card ten times a second" -- startReads
check "the exit command ends with status 0 and the driver closed" -- exit_panel "$window" "$trace"

# The run-time error report is a modal message box; the operator dismisses it with Return.
expect_missing_driver() {
    local name="$1" box
    box="$(findWindow 120 QV58163)" || fail "no error report"
    keysTo "$box" Return
    wait_panel
    [ "$status" = 1 ] || fail "status $status, not 1"
    grep -q 'Run-time error: .*QV58163\.dll' "$scratch/$name.err" ||
        fail "the report does not name QV58163.dll: $(cat "$scratch/$name.err")"
}
# Starts the panel alone, with no driver beside it: missingDriver NAME WORKING_DIR.
missingDriver() {
    run_panel "$1" "$scratch/alone/qv58163.exe" "$scratch/$2" "$scratch/$1.trace"
    expect_missing_driver "$1"
    [ ! -s "$scratch/$1.trace" ] || fail "a driver was called: $(head -n1 "$scratch/$1.trace")"
}
check "a missing QV58163.dll is a run-time error naming it, status 1" -- missingDriver missing elsewhere
check "a QV58163.dll only in the working directory is not loaded" -- missingDriver decoy decoy

systemDriver() {
    cp "$bin/QV58163.dll" "$system32/"
    trace="$scratch/system.trace"
    run_panel system "$scratch/alone/qv58163.exe" "$scratch/elsewhere" "$trace"
    window="$(findWindow 120 'QV58163 Main')" || fail "no window"
    grep -q '^QV58163_initial() = 0' "$trace" || fail "the system directory's driver was not opened"
    exit_panel "$window" "$trace"
    rm "$system32/QV58163.dll"
}
check "a QV58163.dll only in the system directory is loaded" -- systemDriver

otherWordSize() {
    mkdir -p "$scratch/other"
    cp "$bin/qv58163.exe" "$bin/other-word-size/QV58163.dll" "$scratch/other/"
    run_panel other "$scratch/other/qv58163.exe" "$scratch/elsewhere"
    expect_missing_driver other
    grep -q "QV58163\\.dll is a $otherBits-bit library and this program is $bits-bit, .*(the $otherZip zip)" \
        "$scratch/other.err" ||
        fail "the report does not say the driver is $otherBits-bit: $(cat "$scratch/other.err")"
}
check "a $otherBits-bit QV58163.dll beside the program is named as such, status 1" -- otherWordSize

# The recorder's own cases are tests/recorder's, on Linux; here only what Windows may do otherwise:
# its numbers as text, its timers, its exit statuses, its console's Ctrl+C, decorated driver names.

# Runs the recorder beside the simulated card, with the settings in recordEnv: record NAME
# [OPTION...]; leaves its exit status in $status and what it said in $scratch/NAME.out and .err.
recordEnv=()
record() {
    local name="$1"
    shift
    status=0
    (cd "$scratch/app" && exec env "${recordEnv[@]}" timeout -k 10 300 "$wine" qv58163-record.exe "$@") \
        >"$scratch/$name.out" 2>"$scratch/$name.err" || status=$?
}

# Every deadline planned is a row or a skipped deadline, as the summary counts them.
fixedValues() {
    local recordEnv=("${recorderFixedInputs[@]}") rows planned skipped
    record fixed "${recorderFixedOptions[@]}" --output "$(windows_path "$scratch/fixed.csv")" \
        --plot "$(windows_path "$scratch/fixed.png")"
    [ "$status" = 0 ] || fail "status $status"
    [ "$(head -c 8 "$scratch/fixed.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
        fail "no PNG plot"
    rows=$(($(wc -l <"$scratch/fixed.csv") - 1))
    read -r planned skipped < <(sed -n \
        's/^samples: [0-9]* of \([0-9]*\),.*skipped deadlines: \([0-9]*\).*/\1 \2/p' "$scratch/fixed.err") ||
        fail "no summary: $(cat "$scratch/fixed.err")"
    [ $((rows + skipped)) = "$planned" ] || fail "$rows rows and $skipped skipped deadlines, not $planned deadlines"
    [ "$rows" -ge $((planned * 2 / 3)) ] || fail "only $rows rows of $planned"
    # The first two columns are the time of each sample; the rest are the values and statuses, the
    # same in every row of either file.
    diff <(cut -d, -f3- "$bin/linux-fixed.csv" | uniq) <(cut -d, -f3- "$scratch/fixed.csv" | uniq) >&2 ||
        fail "the values differ"
    checkNote="$rows samples ($skipped deadlines skipped) and a PNG plot"
}
check "the recorder writes the values the Linux recorder writes, to the digit" -- fixedValues

# The statuses themselves are test_process's RecorderEnds and RecorderRefuses cases.
exitStatuses() {
    local started
    started="$(uptimeNow)"
    record version --version
    [ "$status" = 0 ] && grep -q '^qv58163-record ' "$scratch/version.out" || fail "--version: status $status"
    checkNote="--version ended after $(since "$started") s"
    # The Windows builds have no Qt Svg.
    record svg --count 3 --plot plot.svg
    [ "$status" = 64 ] || fail "--plot plot.svg: status $status, not 64"
    grep -q "this build draws no SVG" "$scratch/svg.err" || fail "the SVG plot is not refused as such"
}
check "the recorder's exit statuses reach Wine's caller: 0, and 64 for an SVG plot" -- exitStatuses

# test_process's RecorderStopped, through the console's Ctrl+C event: Wine turns the SIGINT into
# it; timeout passes it on.
rows() { [ -f "$scratch/ctrlc.csv" ] && [ "$(wc -l <"$scratch/ctrlc.csv")" -ge "$1" ]; }
ctrlC() {
    local trace="$scratch/ctrlc.trace" recorder ending
    (cd "$scratch/app" && QV58163_SIM_TRACE="$(windows_path "$trace")" exec timeout -k 10 300 "$wine" \
        qv58163-record.exe --duration 120 --output "$(windows_path "$scratch/ctrlc.csv")") \
        >"$scratch/ctrlc.out" 2>"$scratch/ctrlc.err" &
    recorder=$!
    waitUntil 120 rows 6 || fail "no rows after two minutes"
    kill -INT "$recorder"
    status=0
    wait "$recorder" || status=$?
    [ "$status" = 0 ] || fail "status $status"
    grep -q '^samples: [0-9]* of [0-9]*,' "$scratch/ctrlc.err" || fail "no summary"
    ending="$(tail -n2 "$trace" | tr -d '\r' | sed 's/(.*//' | tr '\n' ' ')"
    [ "$ending" = "QV58163_AD_integral_stop QV58163_close " ] || fail "the run ended with: $ending"
    checkNote="$(($(wc -l <"$scratch/ctrlc.csv") - 1)) rows kept"
}
check "Ctrl+C ends a recording as SIGINT does on Linux: the card stopped, the driver closed, status 0" -- ctrlC

# The recorder publishing to Debian's broker, started here on a free port with a configuration of
# its own: every sample arrives as its CSV row, field for field and digit for digit, the stopped
# channel as null; the summary counts them all; an mqtts:// URL is refused (no TLS in this build).
publishes() {
    local port conf="$scratch/broker.conf" sub csvJson rows
    port="$(freePort)"
    printf 'listener %s 127.0.0.1\nallow_anonymous true\nuser root\n' "$port" >"$conf"
    mosquitto -c "$conf" >"$scratch/broker.log" 2>&1 &
    waitUntil 60 grep -q 'listen socket on port' "$scratch/broker.log" || fail "the broker did not start"
    # Subscribed once a retained message sent beforehand has arrived.
    mosquitto_pub -h 127.0.0.1 -p "$port" -r -t qv58163/probe -m ready
    mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -t qv58163/probe -t qv58163/st1/card0/samples -F %p \
        >"$scratch/published.txt" 2>"$scratch/sub.err" &
    sub=$!
    waitUntil 60 grep -qx ready "$scratch/published.txt" || fail "the subscriber did not start"
    record publish --count 20 --interval 50 --station st1 --output "$(windows_path "$scratch/published.csv")" \
        --publish "mqtt://127.0.0.1:$port"
    [ "$status" = 0 ] || fail "status $status"
    rows=$(($(wc -l <"$scratch/published.csv") - 1))
    grep -q "^published $rows of $rows samples, 0 dropped" "$scratch/publish.err" ||
        fail "not every sample published: $(grep '^published' "$scratch/publish.err")"
    sleep 1
    kill "$sub"
    csvJson="$(tr -d '\r' <"$scratch/published.csv" | awk -F, '
        NR == 1 { for (i = 1; i <= NF; i++) name[i] = $i; next }
        {
            line = "{"
            for (i = 1; i <= NF; i++) {
                value = i == 1 ? "\"" $i "\"" : ($i == "" ? "null" : $i)
                line = line (i > 1 ? ", " : "") "\"" name[i] "\": " value
            }
            print line "}"
        }')"
    diff <(echo "$csvJson") <(grep -vx ready "$scratch/published.txt") >&2 ||
        fail "what arrived is not the CSV's rows"
    record tls --count 3 --output - --publish "mqtts://127.0.0.1:$port"
    [ "$status" = 64 ] && grep -q "this build has no TLS" "$scratch/tls.err" || fail "mqtts://: status $status"
    checkNote="$rows samples"
}
check "the recorder publishes each sample as its CSV row to an MQTT broker" -- publishes

# A recording in slices (--split), as a burn-in rack's runs of days are written: a slice every
# 2 s, each with the header, named from its first sample's time, and the summary listing them.
slices() {
    local files f
    record split --split 2s --duration 5 --interval 200 --output "$(windows_path "$scratch/split/run.csv")"
    [ "$status" = 0 ] || fail "status $status"
    files=("$scratch"/split/run-*Z.csv)
    [ ${#files[@]} -ge 3 ] || fail "${#files[@]} slices"
    for f in "${files[@]}"; do
        head -n1 "$f" | grep -q '^time,elapsed_s,CH00,' || fail "$(basename "$f") has no header"
        grep -q "^slice .*$(basename "$f"): [0-9]* rows" "$scratch/split.err" || fail "$(basename "$f") not in the summary"
    done
    # The free space is Windows' own: more than any disk has asked for ends the run before its file.
    record low --split 2s --count 3 --min-free 1000000000 --output "$(windows_path "$scratch/low/run.csv")"
    [ "$status" = 1 ] || fail "--min-free beyond the disk: status $status, not 1"
    grep -q 'MB free, less than --min-free 1000000000 MB: the run ends' "$scratch/low.err" ||
        fail "--min-free beyond the disk: $(cat "$scratch/low.err")"
    [ -z "$(ls -A "$scratch/low")" ] || fail "--min-free beyond the disk: a file was made"
    checkNote="${#files[@]} slices"
}
mkdir -p "$scratch/split" "$scratch/low"
check "the recorder writes a run in slices, each with its header, listed in the summary, and ends before a disk it would fill" -- slices

# A 32-bit driver built without a .def file, or with one naming the functions as Microsoft's
# compiler decorates them, exports QV58163_initial@0 or _QV58163_initial@0.
decoratedDriver() {
    cp "$1/QV58163.dll" "$scratch/app/QV58163.dll"
    record "$(basename "$1")" --count 3 --output -
    [ "$status" = 0 ] || fail "status $status"
    [ "$(grep -c ',0$' "$scratch/$(basename "$1").out")" = 3 ] || fail "not three good samples"
    cp "$bin/QV58163.dll" "$scratch/app/QV58163.dll"
}
# The panel ends on a run-time error after the driver was opened (a range code it does not know)
# before it ever called the driver's close: the close is looked up by its decorated name too, and
# is the last call.
decoratedClose() {
    local name box last
    name="close-$(basename "$1")"
    cp "$1/QV58163.dll" "$scratch/app/QV58163.dll"
    local -x QV58163_SIM_RANGES=7
    run_panel "$name" "$scratch/app/qv58163.exe" "$scratch/elsewhere" "$scratch/$name.trace"
    box="$(findWindow 120 QV58163)" || fail "no error report"
    keysTo "$box" Return
    wait_panel
    cp "$bin/QV58163.dll" "$scratch/app/QV58163.dll"
    [ "$status" = 1 ] || fail "status $status, not 1"
    grep -q '^Run-time error: ' "$scratch/$name.err" || fail "no run-time error: $(cat "$scratch/$name.err")"
    last="$(tail -n1 "$scratch/$name.trace" | tr -d '\r')"
    [ "$last" = "QV58163_close() = 0" ] || fail "the driver was not closed last: $last"
}
for dir in "$bin"/decorated-*; do
    [ -d "$dir" ] || continue
    check "a driver that exports its functions as $(basename "$dir") names is used" -- decoratedDriver "$dir"
    check "the panel's run-time error closes a driver with $(basename "$dir") names last" -- decoratedClose "$dir"
done

# The desktop tests' text-fit cases, cross-built. A desktop program writes no console: its report
# goes to an XML file.
textFit() {
    local report="$scratch/fit.xml" failures tests
    "$wine" "$bin/qv58163_wine_text_fit.exe" --gtest_filter='TextFit.*' \
        --gtest_output="xml:$(windows_path "$report")" >"$scratch/fit.out" 2>"$scratch/fit.err" || true
    [ -s "$report" ] || fail "no report from the text-fit cases"
    failures="$(grep -o '<failure message="[^"]*"' "$report" | sed 's/&#x0A;/ /g; s/&quot;/"/g; s/&lt;/</g; s/&gt;/>/g' || true)"
    [ -z "$failures" ] || fail "$failures"
    tests="$(grep -c '<testcase ' "$report" || true)"
    [ "$tests" -ge 4 ] || fail "only $tests text-fit cases ran"
    checkNote="$tests cases"
}
check "the captions and list entries fit their controls in the fonts the program gets" -- textFit

# The installer, silently, as a line's PCs are set up with it. Wine passes msiexec's status on
# modulo 256: 1603, the installation's fatal error, is 67.
msi="$(echo "$msiDir"/qv58163-*.msi)" older="$(echo "$msiDir"/older/qv58163-*.msi)"
version="$(basename "$msi" | sed 's/^qv58163-\(.*\)-windows-.*/\1/')"
installDir='C:\Program Files\QV58163' installed="$WINEPREFIX/drive_c/Program Files/QV58163"
# msiexec NAME /i|/x PACKAGE [PROPERTY=VALUE...]: its log in $scratch/NAME.log, its status in $status.
msiexec() {
    status=0
    timeout -k 10 300 "$wine" msiexec "$2" "$(windows_path "$3")" /qn /l*v "$(windows_path "$scratch/$1.log")" \
        "${@:4}" >"$scratch/$1.out" 2>"$scratch/$1.err" || status=$?
}
# The program's entries in the list of installed programs, one a line: VERSION|PUBLISHER.
entries() {
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' | awk '
        /^HKEY/ { key = $0 } $1 == "DisplayName" && $3 == "QV58163" { ours[key] }
        $1 == "DisplayVersion" { v[key] = $3 } $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); p[key] = $0 }
        END { for (k in ours) print v[k] "|" p[k] }'
}
# How often the install folder is on the system PATH.
onPath() {
    "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager\Environment' /v PATH | tr -d '\r' |
        sed -n 's/^ *PATH *REG_[A-Z_]* *//p' | tr ';' '\n' | grep -cixF -e "$installDir" -e "$installDir\\" || true
}
# This version as built: its programs, one entry of it, its folder once on the PATH.
installedAsBuilt() {
    cmp "$bin/qv58163.exe" "$installed/qv58163.exe" && cmp "$bin/qv58163-record.exe" "$installed/qv58163-record.exe"
    [ "$(entries)" = "$version|QV58163 test panel authors" ] || fail "the entries: $(entries)"
    [ "$(onPath)" = 1 ] || fail "$installDir is $(onPath) times on the PATH"
}

silentInstall() {
    msiexec install /i "$msi"
    [ "$status" = 0 ] || fail "status $status"
    installedAsBuilt
    [ ! -e "$installed/QV58163.dll" ] || fail "the simulated driver is installed, unasked"
    cp "$installed/README.txt" "$scratch/README.installed"
    "$wine" reg query 'HKLM\Software\Classes\Installer\Products' /s | grep -q 'ProductIcon .*\\qv58163\.ico' ||
        fail "no icon registered"
    # Wine puts a per-machine shortcut in the user's Start menu; Windows in the common one.
    shortcut="$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/QV58163 Test Panel.lnk')"
    [ -f "$shortcut" ] || fail "no Start-menu shortcut"
}
check "a silent install: the programs, one entry, the folder on PATH, a Start-menu shortcut, no simulated driver" -- silentInstall

shortcutPanel() {
    grep -qaF "$installDir\\qv58163.exe" "$shortcut" || fail "the shortcut does not start $installDir\\qv58163.exe"
    cp "$bin/QV58163.dll" "$system32/"
    trace="$scratch/installed.trace"
    run_panel installed "$installDir\\qv58163.exe" "$installed" "$trace"
    window="$(findWindow 120 'QV58163 Main')" || fail "no window"
    pressStart "$window"
    waitUntil 30 grep -q '^QV58163_AD_integral_all_read(' "$trace" || fail "START did not read"
    exit_panel "$window" "$trace"
    rm "$system32/QV58163.dll"
}
check "the shortcut's program, with the driver in the system directory: the window, START reads, status 0" -- shortcutPanel

# A program started from outside Wine makes its environment from the registry, as a console opened
# on Windows after the installer has announced the change does.
recorderOnPath() {
    local said
    said="$(cd "$scratch/elsewhere" && timeout -k 10 300 "$wine" cmd /c qv58163-record --version | tr -d '\r')"
    [ "$said" = "qv58163-record $version" ] || fail "it said: $said"
}
check "qv58163-record --version in a new console finds the recorder through PATH" -- recorderOnPath

again() {
    msiexec again /i "$msi"
    [ "$status" = 0 ] || fail "status $status"
    installedAsBuilt
}
check "installing the same package again changes nothing" -- again

olderRefused() {
    msiexec older /i "$older"
    { [ "$status" != 0 ] && grep -q '^Property(S): WIX_DOWNGRADE_DETECTED = ' "$scratch/older.log"; } ||
        fail "status $status"
    installedAsBuilt
}
check "an older version is refused over this one" -- olderRefused

# Uninstalled, nothing is left: no file, shortcut, entry or PATH folder, no registry value naming it.
uninstall() {
    msiexec uninstall /x "$msi"
    [ "$status" = 0 ] || fail "status $status"
    local left
    left="$(find "$WINEPREFIX/drive_c" -iname '*qv58163*')"
    { [ -z "$left$(entries)" ] && [ "$(onPath)" = 0 ]; } || fail "left: $left $(entries), $(onPath) on the PATH"
    "$wine" regedit /E "$(windows_path "$scratch/registry.reg")"
    left="$(iconv -f UTF-16 -t UTF-8 "$scratch/registry.reg" | grep -i qv58163 || true)"
    [ -z "$left" ] || fail "the registry names it still: $left"
}
check "a silent uninstall leaves no file, shortcut, entry, registry value or PATH folder" -- uninstall

upgrade() {
    msiexec old /i "$older" ADDLOCAL=SimulatedCard
    { [ "$status" = 0 ] && [ -f "$installed/QV58163.dll" ]; } || fail "status $status, or no simulated driver"
    msiexec upgrade /i "$msi"
    [ "$status" = 0 ] || fail "status $status"
    installedAsBuilt
    cmp "$scratch/README.installed" "$installed/README.txt"
}
check "an older version with the simulated card, upgraded: one entry, this version's files" -- upgrade
check "and uninstalled, nothing left" -- uninstall
