#!/usr/bin/env bash
# The test command: installs what is missing, builds, and runs every test.
#   scripts/test.sh           the normal build
#   scripts/test.sh asan      the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
scripts/install-deps.sh
scripts/build.sh "$preset"
export QT_QPA_PLATFORM=offscreen
if [ "$preset" = asan ]; then
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
ctest --test-dir "build/$preset" --output-on-failure -j 2
