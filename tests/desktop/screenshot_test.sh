#!/usr/bin/env bash
# Takes a screenshot of the program on the simulated card with scripts/screenshot.sh (its own
# Xvfb, START pressed from the keyboard), with fixed signals and no noise so the readings are
# known, then checks the picture in an X server of the same kind.
#   screenshot_test.sh SOURCE_DIR PROGRAM_DIR CHECKER OUT_DIR
set -euo pipefail
source_dir="$1"
. "$source_dir/scripts/lib.sh"
program_dir="$2"
checker="$3"
out="$4"
mkdir -p "$out"

# Every range and the stop; each signal's code and the reading the panel makes of it.
export QV58163_SIM_RANGES=1,0,3,2,1,0,3,255
export QV58163_SIM_NOISE=0
export QV58163_SIM_SIGNALS='dc:1.25;dc:3.3;dc:-7.5;dc:5;dc:-2;dc:0.5;dc:9.99;dc:1'
# 512 -> 1.250; 2703 -> 3.300; -1536 -> -7.500; 2048 -> 5.001; -819 -> -2.000; 410 -> 0.501;
# 2046 -> 9.990; stopped -> 0.000
captions='1.250V,3.300V,-7.500V,5.001V,-2.000V,0.501V,9.990V,0.000V'

QV58163_BIN_DIR="$program_dir" "$source_dir/scripts/screenshot.sh" "$out/screenshot.png"

# The checker's own leaks under the sanitizer are the X libraries', not the program's.
QT_QPA_PLATFORM=xcb QV58163_SCREENSHOT="$out/screenshot.png" QV58163_CAPTIONS="$captions" \
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
    inXvfb "$checker"
