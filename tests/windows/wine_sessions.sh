#!/usr/bin/env bash
# Whole sessions of the packaged Windows console under Wine on Xvfb, one per way of reaching the
# simulated radio (the Linux build's rt1446-sim on a pseudo-terminal):
#   com       COM1 is the Wine prefix's com1, a link to the radio's pseudo-terminal
#   rfc2217   COM1 is rfc2217://127.0.0.1:PORT, ser2net serving the radio with the com-port option
#   tcp       COM1 is tcp://127.0.0.1:PORT, ser2net passing the bytes as they are
# Each runs korvane-session.exe (the Windows build of tools/korvane_session.cpp) from a copy of
# the package, beside korvane.exe and with nothing on Wine's DLL path, so that what the package
# holds is all it has: open the port, start sync, request status, send a command, keep sync on,
# close. It passes when the status report filled its 35 keyed slots (slot 0 takes only lines
# whose key has no slot of its own, and the radio sends none), the command came back with its
# three times, and the radio saw the polls at the interval the program says it polls at. The
# last session's picture of the window is build/windows/korvane-windows.png. Last, the program
# is ended from outside by WM_CLOSE (taskkill), which must run its shutdown and end it with
# status 0.
#
#   tests/windows/wine_sessions.sh PACKAGE_FOLDER SESSION_EXE [ROW...]
# Needs: the Linux build's simulator (build/dev/sim/rt1446-sim), ser2net, xvfb-run, and the
# environment of scripts/wine-env.sh.
set -euo pipefail
package=$(cd "$1" && pwd)
session_exe=$(realpath "$2")
shift 2
rows=("$@")
[ ${#rows[@]} -gt 0 ] || rows=(com rfc2217 tcp)
cd "$(dirname "$0")/../.."
root=$PWD
sim=$root/build/dev/sim/rt1446-sim
[ -x "$sim" ] || { echo "wine_sessions: $sim is not built (cmake --build build/dev --target rt1446-sim)" >&2; exit 1; }
ser2net=$(PATH="$PATH:/usr/sbin:/sbin" command -v ser2net)
: "${KORVANE_WINE:?source scripts/wine-env.sh first}"

# How long sync stays on after the command: long enough for the radio to see several polls.
sync_seconds=6
work=$(mktemp -d)
stage=$work/package
cp -r "$package" "$stage"
cp "$session_exe" "$stage/"
unset WINEPATH
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    "$KORVANE_WINE" reg delete 'HKLM\Software\Wine\Ports' /v COM1 /f >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
for row in "${rows[@]}"; do
    dir=$work/$row
    mkdir -p "$dir"
    "$sim" --log "$dir/radio.log" >"$dir/radio.out" &
    pids+=($!)
    for _ in $(seq 50); do [ -s "$dir/radio.out" ] && break; sleep 0.1; done
    pty=$(head -n 1 "$dir/radio.out")
    case $row in
    com)
        # Wine maps its COM ports from the registry when its server starts (a link put in
        # dosdevices by hand is replaced then). Only COM1 is listed, so that no session touches
        # the machine's own serial ports, which Wine maps to COM2 and up.
        "${KORVANE_WINE%/*}/wineserver" -k 2>/dev/null || true
        "$KORVANE_WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$pty" /f >/dev/null 2>&1
        "${KORVANE_WINE%/*}/wineserver" -w 2>/dev/null || true
        export KORVANE_PORTS="1=COM1"
        ;;
    rfc2217 | tcp)
        port=$((7300 + RANDOM % 500))
        accepter="telnet(rfc2217),tcp(nodelay)"
        [ "$row" = tcp ] && accepter="tcp(nodelay)"
        cat >"$dir/ser2net.yaml" <<YAML
%YAML 1.1
---
connection: &radio
    accepter: $accepter,127.0.0.1,$port
    connector: serialdev,$pty,9600n81,local
    options:
      chardelay: false
YAML
        "$ser2net" -n -d -c "$dir/ser2net.yaml" >"$dir/ser2net.log" 2>&1 &
        pids+=($!)
        for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
        export KORVANE_PORTS="1=$row://127.0.0.1:$port"
        ;;
    *)
        echo "wine_sessions: no row $row" >&2
        exit 2
        ;;
    esac
    started=$(date +%s.%N)
    status=0
    (cd "$stage" && timeout -k 5 120 xvfb-run -a -s "-screen 0 1024x768x24" \
        "$KORVANE_WINE" korvane-session.exe "Z:$dir/window.png" "Z:$dir/session.log" \
        "$sync_seconds") >"$dir/session.out" 2>&1 || status=$?
    seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
    slots=$(sed -n '/^Status slots:/,/^Report box:/p' "$dir/session.out" | grep -c '^  ' || true)
    command_back=$(grep -c '^  18  F1000000' "$dir/session.out" || true)
    times=$(grep -cE '^(Command|Response|Elapsed) Time: +[0-9]' "$dir/session.out" || true)
    # The polls as the radio saw them: the median gap between one and the next.
    gaps=$(awk '$2 == "POLL" { if (last) print $1 - last; last = $1 }' "$dir/radio.log" | sort -n)
    count=$(echo "$gaps" | grep -c . || true)
    median=$(echo "$gaps" | awk '{ a[NR] = $1 } END { if (NR) print a[int((NR + 1) / 2)]; else print 0 }')
    # The interval the program polls at, as it says it (the protocol's own constant), 0.1 s
    # either way for Wine.
    interval=$(sed -n 's/^Start Sync: polling every \([0-9.]*\) s.*/\1/p' "$dir/session.out")
    cadence_ok=$(awk -v m="$median" -v i="${interval:-0}" \
        'BEGIN { print (i > 0 && m >= i - 0.1 && m <= i + 0.1) ? 1 : 0 }')
    verdict=pass
    if [ "$status" -ne 0 ] || [ "$slots" -lt 35 ] || [ "$command_back" -ne 1 ] ||
        [ "$times" -ne 3 ] || [ "$count" -lt 3 ] || [ "$cadence_ok" -ne 1 ]; then
        verdict=FAIL
        failures=$((failures + 1))
        sed 's/^/    | /' "$dir/session.out"
        tail -n 20 "$dir/radio.log" | sed 's/^/    radio | /'
    fi
    printf '%-8s %s  exit %s, %s slots, command back %s, times %s, %s poll gaps, median %.3f s, %.1f s in all\n' \
        "$row" "$verdict" "$status" "$slots" "$command_back" "$times" "$count" "$median" "$seconds"
    [ -f "$dir/window.png" ] && cp "$dir/window.png" "$root/build/windows/korvane-windows.png"
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    pids=()
done
# Ended from outside the window's way: taskkill sends WM_CLOSE to the program's window, and the
# program runs its shutdown and ends with status 0.
(cd "$stage" && timeout -k 5 60 xvfb-run -a -s "-screen 0 1024x768x24" "$KORVANE_WINE" korvane.exe \
    --log "Z:$work/closed.log" >"$work/closed.out" 2>&1; echo "$?" >"$work/closed.status") &
for _ in $(seq 100); do grep -q "Getting Available" "$work/closed.log" 2>/dev/null && break; sleep 0.2; done
sleep 1
"$KORVANE_WINE" taskkill /im korvane.exe >/dev/null 2>&1 || true
wait
closed=$(cat "$work/closed.status" 2>/dev/null || echo none)
if [ "$closed" = 0 ]; then
    echo "WM_CLOSE  pass  the program ended with status 0"
else
    echo "WM_CLOSE  FAIL  status $closed"
    failures=$((failures + 1))
fi
[ "$failures" -eq 0 ]
