#!/usr/bin/env bash
# Configures (once) and builds a preset: dev by default, asan for the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"
[ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
cmake --build "build/$preset" -j "$(nproc)"
