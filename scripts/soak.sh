#!/usr/bin/env bash
# The soak run: a normal session of the real console against the simulated radio for MINUTES
# (default 10): sync on, status requests and commands at random moments. Prints the lines the
# radio sent against the lines that reached the slots, the longest the window went without
# answering, and resident memory at the start and the end. Exits non-zero if a line was lost or
# an error was shown.
#
#   scripts/soak.sh [MINUTES] [SEED]
#
# Builds korvane-soak and rt1446-sim in build/dev first. The window runs on the offscreen
# platform, so no display is needed.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes="${1:-10}"
seed="${2:-1446}"
scripts/install-deps.sh
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev >/dev/null
cmake -S . -B build/dev >/dev/null # a build configured before the soak driver existed learns of it
cmake --build build/dev -j "$(nproc)" --target korvane-soak rt1446-sim >/dev/null
export QT_QPA_PLATFORM=offscreen
export KORVANE_SIM="$PWD/build/dev/sim/rt1446-sim"
exec build/dev/tests/soak/korvane-soak "$minutes" "$seed"
