#!/usr/bin/env bash
# An emulated x86-64 machine that runs 32-bit Windows programs under Wine, for the 32-bit program's
# checks: this machine's kernel runs no 32-bit programs and has no hardware virtualisation, but a
# Debian kernel booted in QEMU's software CPU does.
#   scripts/windows-guest.sh image          builds the guest once, prints its folder
#   scripts/windows-guest.sh run JOB OUT    boots a throw-away view of it, runs JOB/run.sh inside
#                                           as root, copies what the job left in its folder
#                                           (its first argument) to OUT; ends with the job's status
# The guest is a Debian root file system made by mmdebstrap from the machine's own apt sources,
# with a 32-bit Wine whose prefix is made once, at build time, and kept in the image (making it
# takes minutes under emulation). Every run boots the image with snapshot=on, so nothing a run
# writes reaches the next one; the job comes in on a second disk (a tar) and its results go out on
# a third.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
failPrefix="windows-guest: "

guest="$cacheDir/guest-win32"
# The processor the guest sees. QEMU 7.2's software CPU faults on the masked-off elements of an
# AVX2 masked load (VPMASKMOVD), which real processors never touch, and Qt's blending code ends a
# scan line with such a load: on a model with AVX2 (QV58163_GUEST_CPU=max,-smap) the 32-bit panel
# crashes at its first paint, in the emulator alone. A model without AVX2 takes other paths. (With
# "max", SMAP must be off: QEMU 7.2 also faults at a 32-bit process's return to user mode under it.)
cpu="${QV58163_GUEST_CPU:-Westmere}"
# Packages of the guest: a kernel that runs 32-bit programs, the 32-bit Wine, an X server and what
# the checks drive and look at the window with, and the broker the recorder publishes to.
packages=linux-image-cloud-amd64,initramfs-tools,mount,procps,kmod,wine,wine32:i386,fonts-wine
packages+=,xvfb,xauth,xdotool,imagemagick,mosquitto,mosquitto-clients,iproute2

# Boots the guest: boot IMAGE_OPTIONS JOB_TAR OUT_IMG LOG. The job's output disk is read back as a
# tar by the caller.
boot() {
    local imageOptions="$1" job="$2" out="$3" log="$4"
    timeout -k 10 "${QV58163_GUEST_TIMEOUT:-2400}" qemu-system-x86_64 \
        -accel tcg,thread=multi -cpu "$cpu" -m 2048 -smp 2 \
        -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 quiet init=/usr/local/sbin/qv58163-guest-init" \
        -drive "file=$guest/root.img,format=raw,if=virtio,$imageOptions" \
        -drive "file=$job,format=raw,if=virtio,readonly=on" \
        -drive "file=$out,format=raw,if=virtio" \
        -nic none -display none -serial "file:$log" -no-reboot
}

# Runs a job folder in the guest; the job's files and results pass through $work.
runJob() {
    local imageOptions="$1" jobDir="$2" outDir="$3" work
    work="$(mktemp -d)"
    onExit rm -rf "$work"
    tar -cf "$work/job.tar" -C "$jobDir" .
    truncate -s 512M "$work/out.img"
    local started
    started=$(date +%s)
    boot "$imageOptions" "$work/job.tar" "$work/out.img" "$work/serial.log" ||
        fail "the emulated machine did not end by itself: $(tail -n 20 "$work/serial.log")"
    mkdir -p "$outDir"
    tar -xf "$work/out.img" -C "$outDir" 2>/dev/null ||
        fail "the job wrote no results; the guest's console said: $(tail -n 20 "$work/serial.log")"
    cp "$work/serial.log" "$outDir/serial.log"
    echo "the emulated machine ran $(($(date +%s) - started)) s" >&2
    [ -f "$outDir/status" ] || fail "the job did not finish: $(tail -n 20 "$outDir/job.log" 2>/dev/null)"
    return "$(cat "$outDir/status")"
}

# PID 1 of the guest: mounts what programs expect, runs the job from the second disk with its
# output on the console, writes its folder to the third disk and powers the machine off. Every job
# gets the guest's Wine settings: 32-bit, quiet, no prompts for Mono or Gecko, and the prefix the
# image was made with.
guestInit() {
    cat <<'EOF'
#!/bin/sh
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
export WINEARCH=win32 WINEPREFIX=/root/wine32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The initramfs has mounted some of them already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
# The loopback interface, for the broker the checks start: the machine has no other network.
ip link set lo up
mkdir -p /run/job /run/out
tar -xf /dev/vdb -C /run/job
echo "qv58163-guest: job started"
# The job's output goes to its log, shown on the console as it grows; a process the job leaves
# running (a Wine server, say) cannot hold the machine up.
cd /run/job
bash ./run.sh /run/out >/run/out/job.log 2>&1 </dev/null &
job=$!
tail -n +1 -f --pid="$job" /run/out/job.log &
wait "$job"
echo $? >/run/out/status
wait
tar -cf /dev/vdc -C /run/out .
sync
echo "qv58163-guest: job ended"
echo o >/proc/sysrq-trigger
sleep 60
EOF
}

# What the image is made of; an image made otherwise is made again.
recipe() {
    { guestInit && echo "$packages"; } | sha256sum | cut -c1-16
}

# The guest's root file system: rootTree CODENAME TREE ARCHIVE_LINE..., logged to build.log.
rootTree() {
    local codename="$1" tree="$2"
    shift 2
    mmdebstrap --mode=root --variant=apt --architectures=amd64,i386 --include="$packages" \
        "$codename" "$tree" "$@" >"$guest/build.log" 2>&1
}

buildImage() {
    if [ -f "$guest/.complete" ] && [ "$(cat "$guest/.complete")" = "$(recipe)" ]; then
        return
    fi
    installMissing qemu-system-x86 mmdebstrap e2fsprogs
    [ "$(id -u)" -eq 0 ] || fail "building the guest's root file system needs root (mmdebstrap --mode=root)"

    local started tree codename
    started=$(date +%s)
    rm -rf "$guest"
    mkdir -p "$guest"
    tree="$guest/tree"
    onExit rm -rf "$tree"
    codename="$(debianCodename)"
    mapfile -t archives < <(debianArchiveLines deb)
    [ ${#archives[@]} -gt 0 ] || fail "no Debian archive for this release in the apt sources"
    echo "Building the emulated machine's root file system into $guest (log: $guest/build.log)" >&2
    if ! rootTree "$codename" "$tree" "${archives[@]}"; then
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
        rootTree "$codename" "$tree" "${base[@]}" ||
            fail "mmdebstrap failed: $(tail -n 20 "$guest/build.log")"
    fi
    guestInit >"$tree/usr/local/sbin/qv58163-guest-init"
    chmod 755 "$tree/usr/local/sbin/qv58163-guest-init"
    cp "$(find "$tree/boot" -name 'vmlinuz-*' | sort | tail -n1)" "$guest/vmlinuz"
    cp "$(find "$tree/boot" -name 'initrd.img-*' | sort | tail -n1)" "$guest/initrd.img"
    mke2fs -q -t ext4 -d "$tree" "$guest/root.img" 4G
    rm -rf "$tree"
    echo "root file system: $(($(date +%s) - started)) s" >&2

    # The Wine prefix, made in the guest and written into the image for good.
    local job
    job="$(mktemp -d)"
    onExit rm -rf "$job"
    cat >"$job/run.sh" <<'EOF'
wineboot --init && wineserver -w && test -d "$WINEPREFIX/drive_c/windows/system32"
EOF
    runJob snapshot=off "$job" "$job/out" || fail "making the Wine prefix failed: $(tail -n 20 "$job/out/job.log")"
    recipe >"$guest/.complete"
    echo "The emulated machine built in $(($(date +%s) - started)) s;" \
        "image $(du -h --apparent-size "$guest/root.img" | cut -f1), $(du -h "$guest/root.img" | cut -f1) used" >&2
}

case "${1:-}" in
image)
    buildImage
    echo "$guest"
    ;;
run)
    [ $# -eq 3 ] || fail "usage: $0 run JOB_DIR OUT_DIR"
    [ "$(cat "$guest/.complete" 2>/dev/null)" = "$(recipe)" ] || fail "no guest image of this recipe yet: run $0 image"
    runJob snapshot=on "$2" "$3"
    ;;
*)
    echo "usage: $0 image | run JOB_DIR OUT_DIR" >&2
    exit 2
    ;;
esac
