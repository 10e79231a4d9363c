#!/usr/bin/env bash
# Installs the Debian packages Korvane needs to build, test and show its window, and any named
# after it (scripts/install-windows-deps.sh names the Windows build's). Cheap to run again: it
# asks apt only for what is missing.
set -euo pipefail

# qt6-base-private-dev: the window's accessibility tests switch on Qt's platform accessibility,
# which the offscreen platform leaves off.
packages=(
    cmake g++ make pkg-config clang-format
    qt6-base-dev qt6-base-private-dev qt6-serialport-dev libqt6serialport6 qt6-base-dev-tools
    libgl-dev libx11-dev libxcb1-dev libbenchmark-dev
    xvfb xauth x11-utils xdotool imagemagick fonts-wine fonts-urw-base35 fonts-dejavu-core
    clang libclang-rt-14-dev
    dpkg-dev file
    ser2net
    "$@"
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}" >&2
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 update -qq
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >&2
