#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs to build, run and test, skipping those
# already present. Run as root, or with sudo available.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

packages=(
    # build; the recorder's MQTT client
    cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libmosquitto-dev
    # the icon files drawn at build time (SVG)
    qt6-svg-dev
    # tests and benchmarks; a 32-bit test driver (gcc -m32)
    libgtest-dev libgmock-dev libbenchmark-dev gcc-multilib
    # the broker the publishing tests start (never its service), its clients, their certificates
    mosquitto mosquitto-clients openssl
    # the German locale the tests generate with localedef (its sources)
    locales
    # the fonts the window asks for, and a real X server for what a person sees
    fonts-liberation fonts-arphic-uming xvfb xauth x11-utils xdotool imagemagick
    # checks of the desktop files and packages
    desktop-file-utils appstream dpkg-dev file lintian
    # peak memory in bench/measure.sh, and its start-up stopwatch (Xlib)
    time libx11-dev
)

installMissing "${packages[@]}"
