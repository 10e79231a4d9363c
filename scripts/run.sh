#!/usr/bin/env bash
# The run command: installs what is missing, builds, starts the simulated RT-1446 and opens
# Korvane with it as COM1, the first entry of the port list. Closing the window stops the
# simulated radio too.
#
# On a machine with no display it runs a short scripted session under Xvfb instead (open the
# port, start sync, request status, send a command), prints what the console showed and writes
# a picture of the window to build/korvane-session.png.
#
# Extra arguments go to the simulated radio (see build/dev/sim/rt1446-sim --help), e.g.
#   scripts/run.sh --crlf          a radio that ends its lines with CR LF
#   scripts/run.sh --replay LOG    a radio that plays back a recorded traffic log
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev >/dev/null
cmake --build build/dev -j "$(nproc)" --target korvane rt1446-sim korvane-session >/dev/null

workdir=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$workdir"
}
trap cleanup EXIT INT TERM

# Started in the caller's folder, so that a path given to the radio (--replay LOG, DEVICE)
# names the file it named where the command was typed.
(cd "$caller" && exec "$root/build/dev/sim/rt1446-sim" --log "$workdir/radio.log" "$@") \
    >"$workdir/radio.out" &
sim_pid=$!
for _ in $(seq 50); do
    [ -s "$workdir/radio.out" ] && break
    kill -0 "$sim_pid" 2>/dev/null || break # it refused to start and said why
    sleep 0.1
done
radio=$(head -n 1 "$workdir/radio.out")
[ -n "$radio" ] || { echo "The simulated radio did not start." >&2; exit 1; }

# COM1 is the simulated radio; the other numbers keep their usual devices.
ports="1=$radio"
for n in 2 3 4; do ports+=" $n=/dev/ttyS$((n - 1))"; done
for n in $(seq 5 10); do ports+=" $n=/dev/ttyUSB$((n - 5))"; done
for n in $(seq 11 16); do ports+=" $n=/dev/ttyACM$((n - 11))"; done
export KORVANE_PORTS="$ports"
echo "Simulated RT-1446 on $radio (COM1). Pick port 1, click Start Probe, then Start Sync."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/dev/src/korvane
else
    echo "No display here: running a scripted session under Xvfb instead."
    xvfb-run -a -s "-screen 0 1024x768x24" build/dev/tools/korvane-session build/korvane-session.png
fi
