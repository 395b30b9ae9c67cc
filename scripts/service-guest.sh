#!/usr/bin/env bash
# The recorder's service, qv58163-record@NAME, started for real by systemd. This machine runs no
# systemd as PID 1 (a container), so the script boots an emulated one that does: it builds the two
# Debian packages with cpack, installs them in the guest and runs scripts/service-checks.sh there,
# then prints each check's line and how long the machine ran, and fails if any check failed.
#   scripts/service-guest.sh BUILD_DIR
# The guest is a Debian root file system with systemd, made once by mmdebstrap from the machine's
# own apt sources into $cacheDir/guest-systemd (as root), with the dependencies our packages name:
# packages that come to need another make a new image. Every run boots it with snapshot=on, so
# nothing a run installs or writes reaches the next one.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/lib.sh"
failPrefix="service-guest: "
[ $# -eq 1 ] || fail "usage: $0 BUILD_DIR"
build="$(cd "$1" && pwd)"

guest="$cacheDir/guest-systemd"
# The processor model the Windows guest uses; any 64-bit one runs these programs.
guestCpu="${QV58163_GUEST_CPU:-Westmere}"
# Nothing for the kernel's command line: systemd-sysv makes systemd the init.
guestKernelOptions=""
# A run takes about a minute; a check that hangs ends at the job's own limit of 10 minutes.
guestTimeout=900

# PID 1 starts this unit once the machine is up (multi-user.target): it runs the job. Started
# (Type=exec) as soon as the job is, it lets the boot finish, as it would without the job.
jobUnit() {
    cat <<'EOF'
[Unit]
Description=The checks' job from the second disk
After=multi-user.target

[Service]
Type=exec
Environment=HOME=/root LANG=C.UTF-8
ExecStart=/usr/local/sbin/qv58163-job
StandardOutput=journal+console
StandardError=journal+console

[Install]
WantedBy=multi-user.target
EOF
}

# The job: unpacks the second disk, runs its run.sh as root with its output folder, keeps its
# status and the boot's journal there, writes the folder to the third disk and powers the machine
# off. Its own time limit leaves the results readable when a check hangs.
jobScript() {
    cat <<'EOF'
#!/bin/sh
mkdir -p /run/job /run/out
tar -xf /dev/vdb -C /run/job
cd /run/job
timeout -k 10 600 bash ./run.sh /run/out >/run/out/job.log 2>&1 </dev/null
echo $? >/run/out/status
journalctl -b --no-pager >/run/out/journal.log 2>&1
tar -cf /dev/vdc -C /run/out .
sync
systemctl --no-block poweroff
EOF
}

# The packages a .deb needs, one name a line: the first of each set of alternatives, without its
# version, and none of our own (they are installed by the job).
dependsOf() {
    dpkg-deb -f "$1" Depends | tr ',' '\n' | sed 's/|.*//; s/(.*)//; s/[[:space:]]//g' |
        grep -v -e '^$' -e '^qv58163'
}

# Builds the packages, into the job's folder.
work="$(mktemp -d)"
onExit rm -rf "$work"
mkdir -p "$work/job"
cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    fail "cpack failed: $(tail -n 20 "$work/cpack.log")"
cp "$work"/cpack/qv58163_*.deb "$work"/cpack/qv58163-simulated-driver_*.deb "$work/job/"

# The guest's packages: a kernel, systemd as init, the system's D-Bus, and what our packages need.
packages="linux-image-cloud-amd64,initramfs-tools,systemd,systemd-sysv,dbus"
packages+=",$(for deb in "$work"/job/*.deb; do dependsOf "$deb"; done | sort -u | paste -sd,)"

# What the image is made of; an image made otherwise is made again.
recipe() {
    { jobUnit && jobScript && echo "$packages"; } | sha256sum | cut -c1-16
}

buildImage() {
    if [ -f "$guest/.complete" ] && [ "$(cat "$guest/.complete")" = "$(recipe)" ]; then
        return
    fi
    local started tree="$guest/tree"
    started=$(date +%s)
    guestRootTree --variant=apt --include="$packages"
    jobUnit >"$tree/etc/systemd/system/qv58163-job.service"
    ln -s ../qv58163-job.service "$tree/etc/systemd/system/multi-user.target.wants/qv58163-job.service"
    jobScript >"$tree/usr/local/sbin/qv58163-job"
    chmod 755 "$tree/usr/local/sbin/qv58163-job"
    # One machine id for good: without one every boot would be a first boot, with its presets.
    chroot "$tree" systemd-machine-id-setup >/dev/null 2>&1
    guestDisk
    recipe >"$guest/.complete"
    echo "The emulated machine built in $(($(date +%s) - started)) s;" \
        "image $(du -h --apparent-size "$guest/root.img" | cut -f1), $(du -h "$guest/root.img" | cut -f1) used" >&2
}
buildImage

cp "$root/scripts/service-checks.sh" "$work/job/run.sh"
cp "$root/scripts/lib.sh" "$work/job/lib.sh"
status=0
guestRunJob snapshot=on "$work/job" "$work/out" || status=$?
cat "$work/out/results" 2>/dev/null || true
sed 's/^/the emulated machine: /' "$work/out/startup" 2>/dev/null || true
if [ "$status" -ne 0 ] || grep -q '^FAILED: ' "$work/out/results" 2>/dev/null; then
    # What the job, the guest's journal and its console said, kept for the reader of a failed run.
    kept="$(mktemp -d "${TMPDIR:-/tmp}/service-guest.XXXXXX")"
    cp -r "$work/out/." "$kept/"
    tail -n 20 "$work/out/job.log" >&2 || true
    fail "checks of the service failed (status $status); the guest's logs are in $kept"
fi
