#!/usr/bin/env bash
# Builds the libFuzzer targets (the `fuzz` preset: clang, AddressSanitizer, UndefinedBehavior-
# Sanitizer) and runs each one for a bounded time, then prints how many inputs each ran.
#   scripts/fuzz.sh           30 seconds per target (what CI runs)
#   scripts/fuzz.sh 600       ten minutes per target, the longer run before a release
#   scripts/fuzz.sh 60 framing receive    only the targets named
# Seeds come from fuzz/corpus/<target>/ (committed); what the fuzzer learns goes to
# build/fuzz/corpus/<target>/ and is reused by the next run. An input that breaks a property or
# crashes is saved as build/fuzz/artifacts/<target>-crash-...; rerun it with
#   build/fuzz/fuzz/fuzz_<target> build/fuzz/artifacts/<target>-crash-...
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(framing routing commands settings port_table receive telnet traffic_log)

scripts/install-deps.sh
[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build build/fuzz --target fuzz_targets -j 2

export QT_QPA_PLATFORM=offscreen
# Leak checks stay off: Qt keeps caches (fonts, the window system) for the life of the process.
# A smaller quarantine than the default still catches a use after free in code this size, and
# keeps the long-line inputs from spending their time in fresh pages.
export ASAN_OPTIONS="detect_leaks=0:quarantine_size_mb=16"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
mkdir -p build/fuzz/artifacts

# Streams are let grow past the longest line the console keeps (4096 characters).
declare -A extra=([framing]="-max_len=8192" [receive]="-max_len=8192" [traffic_log]="-max_len=16384")

failed=()
summary=()
for t in "${targets[@]}"; do
    mkdir -p "build/fuzz/corpus/$t"
    log="build/fuzz/artifacts/$t.log"
    echo "== fuzz_$t: $seconds s" >&2
    status=0
    # shellcheck disable=SC2086
    "build/fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/artifacts/$t-" ${extra[$t]:-} \
        "build/fuzz/corpus/$t" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ "$status" -ne 0 ]; then
        failed+=("$t")
        tail -n 40 "$log" >&2
    fi
    summary+=("$(printf '%-12s %10s executions in %s s%s' "$t" "${runs:-?}" "$seconds" \
        "$([ "$status" -ne 0 ] && echo "  FAILED (see $log)")")")
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}" >&2
    exit 1
fi
