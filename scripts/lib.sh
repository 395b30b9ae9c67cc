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

# Processor time (user + system) of one command in ms, from the kernel's resource usage of it and
# its children; its own output is dropped.
cpuMs() {
    local TIMEFORMAT='%3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{printf "%.3f", ($1 + $2) * 1000}'
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

# The emulated machines of the checks (scripts/windows-guest.sh, scripts/service-guest.sh): a Debian
# root file system made by mmdebstrap from the machine's own apt sources, booted with its own
# kernel in QEMU's software CPU (this machine's kernel offers no hardware virtualisation that boots
# a guest). A job folder goes in as a tar on the second disk; the guest runs its run.sh, leaves its
# exit status in the file status of its output folder and writes that folder as a tar on the third
# disk. The script that sources this sets guest (the image's folder), guestCpu (QEMU's processor
# model), guestKernelOptions (what the kernel's command line adds: the init that runs the job) and
# guestTimeout (seconds a run may take, unless QV58163_GUEST_TIMEOUT says otherwise).

# Boots the guest: guestBoot IMAGE_OPTIONS JOB_TAR OUT_IMG LOG. The job's output disk is read back
# as a tar by the caller.
# shellcheck disable=SC2154 # the guest's variables are the calling script's
guestBoot() {
    local imageOptions="$1" job="$2" out="$3" log="$4"
    timeout -k 10 "${QV58163_GUEST_TIMEOUT:-$guestTimeout}" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu "$guestCpu" -m 2048 -smp 2 \
        -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 quiet $guestKernelOptions" \
        -drive "file=$guest/root.img,format=raw,if=virtio,$imageOptions" \
        -drive "file=$job,format=raw,if=virtio,readonly=on" \
        -drive "file=$out,format=raw,if=virtio" \
        -nic none -display none -serial "file:$log" -no-reboot
}

# Runs a job folder in the guest: guestRunJob IMAGE_OPTIONS JOB_DIR OUT_DIR; the job's files and
# results pass through a scratch folder. Copies the console's output to OUT_DIR/serial.log, says
# how long the machine ran on standard error and ends with the job's status.
guestRunJob() {
    local imageOptions="$1" jobDir="$2" outDir="$3" work
    work="$(mktemp -d)"
    onExit rm -rf "$work"
    tar -cf "$work/job.tar" -C "$jobDir" .
    truncate -s 512M "$work/out.img"
    local started
    started=$(date +%s)
    guestBoot "$imageOptions" "$work/job.tar" "$work/out.img" "$work/serial.log" ||
        fail "the emulated machine did not end by itself: $(tail -n 20 "$work/serial.log")"
    mkdir -p "$outDir"
    tar -xf "$work/out.img" -C "$outDir" 2>/dev/null ||
        fail "the job wrote no results; the guest's console said: $(tail -n 20 "$work/serial.log")"
    cp "$work/serial.log" "$outDir/serial.log"
    echo "the emulated machine ran $(($(date +%s) - started)) s" >&2
    [ -f "$outDir/status" ] || fail "the job did not finish: $(tail -n 20 "$outDir/job.log" 2>/dev/null)"
    return "$(cat "$outDir/status")"
}

# Starts a guest's image afresh in $guest: its root file system in $guest/tree (removed when the
# script ends), made by mmdebstrap with these options (variant, architectures, packages) and
# logged to $guest/build.log. Needs root. The caller adds its files to the tree, then guestDisk.
guestRootTree() {
    installMissing qemu-system-x86 mmdebstrap e2fsprogs
    [ "$(id -u)" -eq 0 ] || fail "building the guest's root file system needs root (mmdebstrap --mode=root)"
    local tree="$guest/tree" codename archives base
    rm -rf "$guest"
    mkdir -p "$guest"
    onExit rm -rf "$tree"
    codename="$(debianCodename)"
    mapfile -t archives < <(debianArchiveLines deb)
    [ ${#archives[@]} -gt 0 ] || fail "no Debian archive for this release in the apt sources"
    echo "Building the emulated machine's root file system into $guest (log: $guest/build.log)" >&2
    if ! mmdebstrap --mode=root "$@" "$codename" "$tree" "${archives[@]}" >"$guest/build.log" 2>&1; then
        # A mirror caught syncing serves an index whose size its Release file does not give, and
        # apt refuses the whole update; that has lasted days for the 32-bit index of the security
        # suite. The guest never reaches a network and runs nothing but the checks, so the
        # release's own suite alone makes as good a test machine: try once more with that.
        mapfile -t base < <(printf '%s\n' "${archives[@]}" | grep " $codename ")
        if [ ${#base[@]} -eq 0 ] || [ ${#base[@]} -eq ${#archives[@]} ]; then
            fail "mmdebstrap failed: $(tail -n 20 "$guest/build.log")"
        fi
        mv "$guest/build.log" "$guest/build-every-suite.log"
        echo "mmdebstrap failed with every suite (its log: $guest/build-every-suite.log);" \
            "building from the $codename suite alone" >&2
        rm -rf "$tree"
        mmdebstrap --mode=root "$@" "$codename" "$tree" "${base[@]}" >"$guest/build.log" 2>&1 ||
            fail "mmdebstrap failed: $(tail -n 20 "$guest/build.log")"
    fi
}

# Makes the guest's boot files and disk from its tree, which it then removes: the newest kernel
# and initial RAM disk, and root.img, an ext4 file system of 4 GB (sparse) holding the tree.
guestDisk() {
    local tree="$guest/tree"
    cp "$(find "$tree/boot" -name 'vmlinuz-*' | sort | tail -n1)" "$guest/vmlinuz"
    cp "$(find "$tree/boot" -name 'initrd.img-*' | sort | tail -n1)" "$guest/initrd.img"
    mke2fs -q -t ext4 -d "$tree" "$guest/root.img" 4G
    rm -rf "$tree"
}

# The recorder's run on fixed simulated inputs, which the Windows checks compare with what the Linux
# recorder writes: one input per channel, no noise, each range once and one channel stopped. Every
# sample therefore reads the same; a recorder that falls behind skips deadlines (and says how many
# in its summary), so the checks count rows and skipped deadlines together.
recorderFixedInputs=(QV58163_SIM_SIGNALS='dc:2.5;dc:-4.321;dc:7.777;dc:-9.5;dc:0.001;dc:-0.002;dc:3.3;dc:1'
    QV58163_SIM_NOISE=0)
recorderFixedOptions=(--count 30 --interval 100 --mode 3 --range 0=0 --range 1=1 --range 2=2
    --range 3=3 --range 4=1 --range 5=3 --range 6=0 --range 7=255)
