#!/usr/bin/env bash
# The performance benchmark: builds the console, the simulated radio and the benchmark in
# build/bench (optimised, with debug information, as the dev preset builds), then measures the
# real program against the simulated radio under Xvfb and prints one table of medians.
#
#   scripts/bench.sh            short durations, about 6 minutes
#   scripts/bench.sh --full     the durations the performance issue names, about 20 minutes
#   scripts/bench.sh --only 3,4 some items only (numbers of the table)
#   scripts/bench.sh --no-build measure what build/bench holds, without building first
#
# Take figures on a quiet machine: other work on the same processors shows up in every row. The
# table goes to standard output, progress to standard error.
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
for tool in Xvfb:xvfb xvfb-run:xvfb xdotool:xdotool; do
    command -v "${tool%%:*}" >/dev/null || need+=("${tool##*:}")
done
for pkg in libbenchmark-dev libx11-dev; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" ||
        need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    echo "Installing: ${need[*]}" >&2
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends "${need[@]}" >&2
fi

build_first=1
args=()
for a in "$@"; do
    if [ "$a" = --no-build ]; then build_first=0; else args+=("$a"); fi
done

build=build/bench
if [ "$build_first" = 1 ]; then
    if [ ! -f "$build/CMakeCache.txt" ]; then
        cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DBUILD_TESTING=OFF >/dev/null
    fi
    cmake --build "$build" -j2 --target korvane rt1446-sim korvane-bench korvane-bench-micro \
        >/dev/null
fi

commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
git diff --quiet HEAD -- src sim bench 2>/dev/null || commit+=" (with uncommitted changes)"

echo "Load average now: $(cut -d' ' -f1-3 /proc/loadavg) (take final figures below 0.5)" >&2
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    "$build/bench/korvane-bench" \
    --korvane "$build/src/korvane" --sim "$build/sim/rt1446-sim" \
    --micro "$build/bench/korvane-bench-micro" --commit "$commit" ${args[@]+"${args[@]}"}
