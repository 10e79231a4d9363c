#!/usr/bin/env bash
# Builds, once, the Qt that the Windows build of Korvane links: qtbase at the version the Linux
# build uses, for x86_64 MinGW-w64 (posix threads), from Debian's own source package. It installs
# into a cache outside the clone, so a second run costs nothing:
#
#   $KORVANE_WINDOWS_CACHE (default ~/.cache/korvane-windows)/qt-<version>
#
# Debian's source comes through a deb-src list this script keeps in its cache, so the machine's
# own apt configuration is not touched. The serial port is Korvane's own on Windows (Win32 calls
# behind the device seam), so Qt SerialPort is not built.
#
# Needs: g++-mingw-w64-x86-64-posix, cmake, ninja-build, the host Qt tools (qt6-base-dev-tools),
# dpkg-dev (installed by scripts/install-windows-deps.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

cache=${KORVANE_WINDOWS_CACHE:-$HOME/.cache/korvane-windows}
version=$(dpkg-query -W -f='${Version}' libqt6core6)
upstream=${version%%+*}
upstream=${upstream%%-*}
prefix=$cache/qt-$upstream
stamp=$prefix/.korvane-built

# What Korvane does not use is left out: it shortens the build and keeps the package small.
# dynamicgl and directwrite3 go with OpenGL and Direct2D (Qt 6.4 does not build them alone).
# Accessibility stays: screen readers read the window through it.
features_off=(opengl vulkan sql xml concurrent printsupport dbus ssl schannel icu jpeg gif
    tabletevent freetype fontconfig zstd direct2d directwrite3 dynamicgl sctp openssl brotli glib
    imageformat_ppm imageformat_xbm
    networklistmanager localserver)
# The stamp names what was built: a new Debian version or another set of features builds again.
built="$version ${features_off[*]}"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$built" ]; then
    echo "$prefix"
    exit 0
fi

jobs=${KORVANE_WINDOWS_JOBS:-$(nproc)}
mkdir -p "$cache/apt/lists/partial" "$cache/src"

# The machine's own Debian release, from the deb lines apt already uses.
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
cat >"$cache/apt/sources.list" <<EOF
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite-updates main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security $suite-security main
EOF
apt_private=(-o "Dir::Etc::SourceList=$cache/apt/sources.list" -o "Dir::Etc::SourceParts=/nonexistent"
    -o "Dir::State::Lists=$cache/apt/lists" -o "Dir::Cache=$cache/apt/cache"
    -o "Debug::NoDropPrivs=1" -o "APT::Sandbox::User=root")
mkdir -p "$cache/apt/cache/archives/partial"

source_dir=$(find "$cache/src" -maxdepth 1 -type d -name "qt6-base-$upstream*" | head -n 1)
if [ -z "$source_dir" ]; then
    echo "Fetching Debian's qt6-base $version source" >&2
    apt-get "${apt_private[@]}" -qq update
    (cd "$cache/src" && apt-get "${apt_private[@]}" -qq source "qt6-base=$version" >&2)
    source_dir=$(find "$cache/src" -maxdepth 1 -type d -name "qt6-base-$upstream*" | head -n 1)
fi

build_dir=$cache/build-qtbase
feature_args=()
for f in "${features_off[@]}"; do feature_args+=("-DFEATURE_$f=OFF"); done

cmake -G Ninja -S "$source_dir" -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DBUILD_SHARED_LIBS=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF \
    -DFEATURE_accessibility=ON \
    "${feature_args[@]}" >&2
cmake --build "$build_dir" --parallel "$jobs" >&2
cmake --install "$build_dir" >&2
echo "$built" >"$stamp"
rm -rf "$build_dir"
echo "$prefix"
