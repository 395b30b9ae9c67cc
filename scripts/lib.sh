# shellcheck shell=bash disable=SC2034,SC2191 # its variables are for the scripts that source it
# Helpers shared by the scripts; source it, do not run it.

# Prints one message (after $failPrefix, if set, and the check under way) on standard error and
# ends the script with status 1.
fail() {
    echo "${failPrefix:-}${checkName:+FAILED: $checkName: }$*" >&2
    exit 1
}

# One named check of a script: check NAME -- COMMAND [ARG...]. Runs the command in this shell, under
# set -e, and says "ok: NAME" (with $checkNote after it, if the command left one) when it returns.
# A command of it that fails ends the script with "FAILED: NAME: " and the line that failed; one
# with more to say calls fail, which names the check too.
check() {
    checkName="$1" checkNote=""
    shift 2
    failOnError
    "$@"
    echo "ok: $checkName${checkNote:+ ($checkNote)}"
}

# From here on, a command that fails under set -e, in a function too, ends the script through fail,
# which names the line, the command (a check's own as it ran) and the check under way.
failOnError() {
    set -o errtrace
    trap 'fail "line $LINENO: ${BASH_COMMAND/#\"\$@\"/$*}"' ERR
}

# Runs a command when the script ends, however it ends (its last line, exit, fail, an error under
# set -e): onExit COMMAND [ARG...]. The last one added runs first; the script's status stays.
exitCommands=()
onExit() {
    exitCommands=("$(printf '%q ' "$@")" "${exitCommands[@]}")
    trap runExitCommands EXIT
}
runExitCommands() {
    local status=$? command
    trap - ERR
    set +e
    for command in "${exitCommands[@]}"; do
        eval "$command"
    done
    exit "$status"
}

# Ends the background programs of this script still running and waits for them (an onExit command).
endJobs() {
    local pids
    mapfile -t pids < <(jobs -p)
    [ ${#pids[@]} -eq 0 ] && return
    kill "${pids[@]}" 2>/dev/null || true
    wait "${pids[@]}" 2>/dev/null || true
}

# Where the Windows build keeps what outlives a run (the static Qt, the emulated machine), how many
# jobs a build runs at once, and where the host's Qt keeps the CMake packages of its build tools.
cacheDir="${XDG_CACHE_HOME:-$HOME/.cache}/qv58163"
buildJobs="${QV58163_JOBS:-$(nproc)}"
qtHostCmakeDir=/usr/lib/x86_64-linux-gnu/cmake

# The MinGW-w64 processor of a Windows word size, x64 or x86; fails on anything else.
mingwArchOf() { case "$1" in x64) echo x86_64 ;; x86) echo i686 ;; *) return 1 ;; esac }
# This Debian release's code name (bookworm).
debianCodename() { (. /etc/os-release && echo "${VERSION_CODENAME:?is not in /etc/os-release}"); }

# Installs those of the Debian packages named that are missing, as root or through sudo, waiting
# for another apt to finish. Says what it installs on standard error, where apt's output goes too,
# so that a script's standard output stays its own.
installMissing() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "Installing: ${missing[*]}" >&2
    $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
        --no-install-recommends "${missing[@]}" >&2
}

# Waits up to $1 seconds for the command that follows to succeed, trying ten times a second.
waitUntil() {
    local seconds="$1"
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# Runs a command in an X server of its own (Xvfb on a free display, 1024 x 768 at 24 bits, no TCP).
inXvfb() {
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
}

# A scratch XDG runtime folder in the folder $1, for the programs the script starts.
useScratchRuntime() {
    export XDG_RUNTIME_DIR="$1/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

# The visible top-level window titled exactly $2 once it shows, waiting up to $1 seconds: its id;
# fails when none shows. A search gives up at once when a window it looks at is destroyed under it
# (an X error), as a starting Wine program's passing windows are: it is tried again until then.
findWindow() {
    local until=$((SECONDS + $1)) window=""
    while [ -z "$window" ] && [ "$SECONDS" -lt "$until" ]; do
        window="$(timeout $((until - SECONDS)) xdotool search --sync --onlyvisible --name "^$2\$" \
            2>/dev/null | head -n1)" || true
        [ -n "$window" ] || sleep 0.2
    done
    [ -n "$window" ] && echo "$window"
}

# Keys to a window: keysTo WINDOW KEY... There is no window manager, so the window is given the
# focus directly; Wine takes a moment to follow it.
keysTo() {
    local window="$1"
    shift
    xdotool windowfocus --sync "$window"
    sleep 0.5
    xdotool key --delay 150 "$@"
}

# Presses START in the panel's window: the card list has the focus as the window opens, and four
# Tabs from it reach START.
pressStart() { keysTo "$1" Tab Tab Tab Tab space; }

# Runs the calling script again, with these arguments, in an X server of its own, and ends with its
# status; inside that server it returns, with Qt's platform left to the X server.
inOwnXServer() {
    if [ -z "${QV58163_OWN_X_SERVER:-}" ]; then
        QV58163_OWN_X_SERVER=1 inXvfb "$0" "$@"
        exit
    fi
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}

# Prints the machine's own Debian package sources as lines of the type $1 (deb, or deb-src for a
# private apt state that fetches source packages), one per archive and suite. Reads what apt itself
# reads: the deb lines of /etc/apt/sources.list and sources.list.d/*.list, and the
# Types/URIs/Suites/Components/Signed-By of the deb822 files sources.list.d/*.sources. Only the
# suites of this Debian release are kept (bookworm, bookworm-updates, bookworm-security, ...), so
# that a third party's archive without source packages does not break the private update.
debianArchiveLines() {
    local type="$1" codename
    codename="$(debianCodename)"
    local etc="${QV58163_APT_ETC:-/etc/apt}" # another folder only to try it out
    {
        local f
        for f in "$etc/sources.list" "$etc"/sources.list.d/*.list; do
            if [ -f "$f" ]; then
                awk -v t="$type" '$1 == "deb" { $1 = t; print }' "$f"
            fi
        done
        for f in "$etc"/sources.list.d/*.sources; do
            [ -f "$f" ] || continue
            # deb822: paragraphs of "Field: value" lines, separated by blank lines.
            awk -v t="$type" '
                function flush() {
                    if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "" && suites != "") {
                        opt = signed != "" ? "[signed-by=" signed "] " : ""
                        nu = split(uris, u, " "); ns = split(suites, s, " ")
                        for (i = 1; i <= nu; i++)
                            for (j = 1; j <= ns; j++)
                                print t " " opt u[i] " " s[j] " " components
                    }
                    types = uris = suites = components = signed = enabled = ""
                }
                /^[ \t]*#/ { next }
                /^[ \t]*$/ { flush(); next }
                {
                    field = tolower($1); sub(/:$/, "", field); $1 = ""; sub(/^ +/, "")
                    if (field == "types") types = $0
                    else if (field == "uris") uris = $0
                    else if (field == "suites") suites = $0
                    else if (field == "components") components = $0
                    else if (field == "signed-by") signed = $0
                    else if (field == "enabled") enabled = tolower($0)
                }
                END { flush() }
            ' "$f"
        done
    } | awk -v c="$codename" '{
            # TYPE [options] URI SUITE COMPONENTS...: find the suite after the URI.
            n = 2; if ($2 ~ /^\[/) { while (n <= NF && $n !~ /\]$/) n++; n++ }
            suite = $(n + 1)
            if (suite == c || index(suite, c "-") == 1) print
        }' | sort -u
}

# A local TCP port nothing answers on, for a server a script starts (a broker).
freePort() {
    local port
    while :; do
        port=$((20000 + RANDOM % 20000))
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
    done
    echo "$port"
}

# Fetches and unpacks a Debian source package through a private apt state in the folder $2, so that
# the system's sources, package lists and cache stay as they are: debianSource PACKAGE=VERSION
# WORK_DIR LOG. apt's output goes to LOG; prints the unpacked source's folder.
debianSource() {
    local spec="$1" work="$2" log="$3"
    mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"
    debianArchiveLines deb-src >"$work/apt/sources.list"
    if [ ! -s "$work/apt/sources.list" ]; then
        echo "no Debian archive for this release in the apt sources" >>"$log"
        return 1
    fi
    local apt=(-o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache")
    apt-get "${apt[@]}" update >>"$log" 2>&1 || return 1
    (cd "$work/src" && apt-get "${apt[@]}" source "$spec") >>"$log" 2>&1 || return 1
    find "$work/src" -mindepth 1 -maxdepth 1 -type d -name "${spec%%=*}-*" | head -n1 | grep .
}

# The recorder's run on fixed simulated inputs, which the Windows checks compare with what the Linux
# recorder writes: one input per channel, no noise, each range once and one channel stopped. Every
# sample therefore reads the same; a recorder that falls behind skips deadlines (and says how many
# in its summary), so the checks count rows and skipped deadlines together.
recorderFixedInputs=(QV58163_SIM_SIGNALS='dc:2.5;dc:-4.321;dc:7.777;dc:-9.5;dc:0.001;dc:-0.002;dc:3.3;dc:1'
    QV58163_SIM_NOISE=0)
recorderFixedOptions=(--count 30 --interval 100 --mode 3 --range 0=0 --range 1=1 --range 2=2
    --range 3=3 --range 4=1 --range 5=3 --range 6=0 --range 7=255)
