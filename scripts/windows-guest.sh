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
guestCpu="${QV58163_GUEST_CPU:-Westmere}"
# Its init is a script of ours (guestInit below); a run may take 40 minutes.
guestKernelOptions="init=/usr/local/sbin/qv58163-guest-init"
guestTimeout=2400
# Packages of the guest: a kernel that runs 32-bit programs, the 32-bit Wine, an X server and what
# the checks drive and look at the window with, and the broker the recorder publishes to.
packages=linux-image-cloud-amd64,initramfs-tools,mount,procps,kmod,wine,wine32:i386,fonts-wine
packages+=,xvfb,xauth,xdotool,imagemagick,mosquitto,mosquitto-clients,iproute2

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

buildImage() {
    if [ -f "$guest/.complete" ] && [ "$(cat "$guest/.complete")" = "$(recipe)" ]; then
        return
    fi
    local started tree="$guest/tree"
    started=$(date +%s)
    guestRootTree --variant=apt --architectures=amd64,i386 --include="$packages"
    guestInit >"$tree/usr/local/sbin/qv58163-guest-init"
    chmod 755 "$tree/usr/local/sbin/qv58163-guest-init"
    guestDisk
    echo "root file system: $(($(date +%s) - started)) s" >&2

    # The Wine prefix, made in the guest and written into the image for good.
    local job
    job="$(mktemp -d)"
    onExit rm -rf "$job"
    cat >"$job/run.sh" <<'EOF'
wineboot --init && wineserver -w && test -d "$WINEPREFIX/drive_c/windows/system32"
EOF
    guestRunJob snapshot=off "$job" "$job/out" || fail "making the Wine prefix failed: $(tail -n 20 "$job/out/job.log")"
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
    guestRunJob snapshot=on "$2" "$3"
    ;;
*)
    echo "usage: $0 image | run JOB_DIR OUT_DIR" >&2
    exit 2
    ;;
esac
