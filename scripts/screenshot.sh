#!/usr/bin/env bash
# Renders the real window to a PNG for the README: korvane runs on a virtual X display, talking to
# the simulated radio on a pseudo-terminal; the script clicks "Start Probe", "Start Sync" and
# "Send Command" (the "?!" status request preset), lets the reports come in, and grabs the window
# (frame-less: there is no window manager) with ImageMagick's import.
#   scripts/screenshot.sh [build-dir] [output.png]     (defaults: build/dev, docs/korvane-window.png)
# Without rt1446-sim in the build it shows the idle window with no ports.
# Needs xvfb, xauth, x11-utils, xdotool and imagemagick (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/dev}"
out="${2:-docs/korvane-window.png}"
[ -x "$build/src/korvane" ] || { echo "no $build/src/korvane: build first (scripts/build.sh)" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

export KORVANE_BUILD="$build" KORVANE_SHOT="$out"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" bash -euo pipefail -c '
    pids=()
    trap "kill \${pids[*]} 2>/dev/null || true" EXIT
    sim="$KORVANE_BUILD/sim/rt1446-sim"
    ports=""
    if [ -x "$sim" ]; then
        fifo=$(mktemp -u) && mkfifo "$fifo"
        "$sim" --meter-lines 2 --log /dev/null >"$fifo" &
        pids+=($!)
        read -r pty <"$fifo"
        rm -f "$fifo"
        ports="1=$pty"
    fi
    # Only the simulated radio: the picture must not touch the serial devices of this machine.
    KORVANE_PORTS="$ports" "$KORVANE_BUILD/src/korvane" &
    pids+=($!)
    title="Korvane V0.40 8-18-11:2116"
    for _ in $(seq 100); do
        xwininfo -name "$title" >/dev/null 2>&1 && break
        sleep 0.1
    done
    window=$(xwininfo -name "$title" | awk "/Window id:/ {print \$4}")
    height=$(xwininfo -id "$window" | awk "/Height:/ {print \$2}")
    menu=$((height - 614)) # the client area is 614 pixels high, below the menu bar
    click() { # a point of the client area
        xdotool mousemove --window "$window" "$1" $(($2 + menu)) click 1
        sleep "$3"
    }
    if [ -n "$ports" ]; then
        click 72 76 1     # Start Probe
        click 72 116 3    # Start Sync: a few polls and their meter lines
        click 512 196 2   # Send Command: "?!", the whole status
        click 400 194 0.2 # back into the command box, where the operator types
        xdotool mousemove --window "$window" 740 $((menu + 600))
    fi
    sleep 1
    import -window "$window" "$KORVANE_SHOT"
'
echo "wrote $out"
