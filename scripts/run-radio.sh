#!/usr/bin/env bash
# Korvane against a real RT-1446: builds what is missing and opens the window on the machine's
# own serial ports (COM1-COM4 /dev/ttyS0-3, COM5-COM10 /dev/ttyUSB0-5, COM11-COM16
# /dev/ttyACM0-5, or your own table in KORVANE_PORTS, e.g. KORVANE_PORTS="1=/dev/ttyUSB3").
# The user needs to be in the dialout group to open serial devices.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
[ -f build/dev/CMakeCache.txt ] || cmake --preset dev >/dev/null
cmake --build build/dev -j "$(nproc)" --target korvane >/dev/null
exec build/dev/src/korvane
