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
#
# With --network first, the radio is reached over the network: ser2net serves its
# pseudo-terminal with the com-port option (RFC 2217) on 127.0.0.1 (port 7001, or
# KORVANE_NETWORK_PORT), its configuration is shown, and COM1 is rfc2217://127.0.0.1:7001.
#   scripts/run.sh --network
#   scripts/run.sh --network --baud 300
set -euo pipefail
network=
if [ "${1:-}" = "--network" ]; then
    network=${KORVANE_NETWORK_PORT:-7001}
    shift
fi
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev >/dev/null
cmake --build build/dev -j "$(nproc)" --target korvane rt1446-sim korvane-session >/dev/null

workdir=$(mktemp -d)
sim_pid=
server_pid=
cleanup() {
    # ser2net ends by the signal, a failure as far as "wait" goes: it must not stop the cleanup.
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
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
com1=$radio
if [ -n "$network" ]; then
    ser2net=$(PATH="$PATH:/usr/sbin:/sbin" command -v ser2net) ||
        { echo "ser2net is not installed (scripts/install-deps.sh installs it)." >&2; exit 1; }
    # "local": a pseudo-terminal has no modem lines, and without it ser2net passes nothing.
    # "nodelay" and no chardelay: the radio's bytes go on as they come, not held back in
    # batches (which could cut a report in two at the console's quiet wait).
    cat >"$workdir/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &radio
    accepter: telnet(rfc2217),tcp(nodelay),127.0.0.1,$network
    connector: serialdev,$radio,9600n81,local
    options:
      chardelay: false
YAML
    echo "ser2net serves the simulated radio with this configuration:"
    sed 's/^/    /' "$workdir/ser2net.yaml"
    "$ser2net" -n -d -c "$workdir/ser2net.yaml" >"$workdir/ser2net.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$network") 2>/dev/null && break
        kill -0 "$server_pid" 2>/dev/null ||
            { cat "$workdir/ser2net.log" >&2; echo "ser2net did not start." >&2; exit 1; }
        sleep 0.1
    done
    com1=rfc2217://127.0.0.1:$network
fi
ports="1=$com1"
for n in 2 3 4; do ports+=" $n=/dev/ttyS$((n - 1))"; done
for n in $(seq 5 10); do ports+=" $n=/dev/ttyUSB$((n - 5))"; done
for n in $(seq 11 16); do ports+=" $n=/dev/ttyACM$((n - 11))"; done
export KORVANE_PORTS="$ports"
echo "Simulated RT-1446 on $radio (COM1: $com1). Pick port 1, click Start Probe, then Start Sync."

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/dev/src/korvane
else
    echo "No display here: running a scripted session under Xvfb instead."
    xvfb-run -a -s "-screen 0 1024x768x24" build/dev/tools/korvane-session build/korvane-session.png
fi
