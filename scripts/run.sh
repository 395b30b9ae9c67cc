#!/usr/bin/env bash
# Installs what is missing, builds the panel, the recorder and the simulated driver, and starts the
# panel on the simulated card.
# Simulator settings (QV58163_SIM_*) in the environment pass through; see the README.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cd "$root"
cmake --preset default
cmake --build "$root/build" -j"$(nproc)" --target qv58163 qv58163-record QV58163
exec "$root/build/bin/qv58163" "$@"
