#!/usr/bin/env bash
# Runs the whole suite over and over, to find a test that fails only now and then, and says how
# many runs passed and which tests failed how often. Each run's output is kept.
#   scripts/sweep.sh [dev|asan] [RUNS] [--loaded]
# RUNS defaults to 10. --loaded keeps both cores busy meanwhile (stress-ng --cpu 2, installed
# if missing), as a build beside the tests would.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=dev
runs=10
loaded=
for argument in "$@"; do
    case "$argument" in
    dev | asan) preset="$argument" ;;
    --loaded) loaded=1 ;;
    *[!0-9]* | '') echo "usage: scripts/sweep.sh [dev|asan] [RUNS] [--loaded]" >&2 && exit 2 ;;
    *) runs="$argument" ;;
    esac
done
scripts/build.sh "$preset" >/dev/null
export QT_QPA_PLATFORM=offscreen
if [ "$preset" = asan ]; then
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
out="build/$preset/sweep"
rm -rf "$out" && mkdir -p "$out"
if [ -n "$loaded" ]; then
    command -v stress-ng >/dev/null || apt-get install -y -qq stress-ng >/dev/null
    stress-ng --cpu 2 --quiet &
    load=$!
    trap 'kill $load 2>/dev/null || true' EXIT
fi
passed=0
for run in $(seq 1 "$runs"); do
    start=$(date +%s)
    if ctest --test-dir "build/$preset" --output-on-failure -j 2 >"$out/run-$run.log" 2>&1; then
        passed=$((passed + 1))
        echo "run $run: passed ($(($(date +%s) - start)) s)"
    else
        echo "run $run: FAILED ($(($(date +%s) - start)) s): $(grep -E '^\s+[0-9]+ - ' "$out/run-$run.log" | awk '{print $3}' | tr '\n' ' ')"
    fi
done
echo "$preset${loaded:+, loaded}: $passed of $runs runs passed"
grep -hE '^\s+[0-9]+ - ' "$out"/run-*.log 2>/dev/null | awk '{print $3}' | sort | uniq -c | sort -rn || true
[ "$passed" = "$runs" ]
