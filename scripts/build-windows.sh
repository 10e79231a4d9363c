#!/usr/bin/env bash
# The Windows build, made here: cross-built with MinGW-w64 against the Qt that
# scripts/windows-toolchain.sh builds once, and packaged as
#   build/windows/korvane-VERSION-win64.zip         unzip anywhere and run korvane.exe
#   build/windows/korvane-VERSION-win64-setup.exe   the same, installed (Start menu, uninstaller)
#
#   scripts/build-windows.sh           builds both packages
#   scripts/build-windows.sh --test    then runs the Windows tests under Wine: the pure rules'
#                                      tests, the Windows table, and whole sessions of the
#                                      packaged korvane against the simulated radio
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
test=false
[ "${1:-}" = "--test" ] && test=true

scripts/install-windows-deps.sh
qt=$(scripts/windows-toolchain.sh)
export KORVANE_WINDOWS_QT=$qt

out=$root/build/windows
build=$out/build
source scripts/wine-env.sh

cmake -G Ninja -S . -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DCMAKE_PREFIX_PATH="$qt" \
    -DCMAKE_FIND_ROOT_PATH="$qt" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    >/dev/null
cmake --build "$build" --parallel "$(nproc)"

version=$(sed -n 's/^project(Korvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=korvane-$version-win64
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$out/$name-setup.exe" \
    packaging/windows/korvane.nsi
echo "Windows package: $out/$name.zip ($(du -k "$out/$name.zip" | cut -f1) KiB)"
echo "Windows installer: $out/$name-setup.exe ($(du -k "$out/$name-setup.exe" | cut -f1) KiB)"

$test || exit 0
# ctest runs the tests under Wine (the toolchain's emulator) in this script's Wine environment.
ctest --test-dir "$build" --output-on-failure
# The sessions' radio is the Linux build's simulator.
if [ ! -x build/dev/sim/rt1446-sim ]; then
    [ -f build/dev/CMakeCache.txt ] || cmake --preset dev >/dev/null
    cmake --build build/dev --target rt1446-sim -j "$(nproc)" >/dev/null
fi
# The package on its own: it starts and answers with nothing on Wine's DLL path.
(cd "$stage" && WINEPATH= "$KORVANE_WINE" korvane.exe --version)
# The installer: installed silently, the program answers from its folder, and the uninstaller
# takes the folder, the Start-menu entry and the entry among the installed programs away again.
installed="$WINEPREFIX/drive_c/Program Files/Korvane"
"$KORVANE_WINE" "$out/$name-setup.exe" /S
(cd "$installed" && WINEPATH= "$KORVANE_WINE" korvane.exe --version)
"$KORVANE_WINE" "$installed/uninstall.exe" /S _?="C:\\Program Files\\Korvane"
sleep 1
"$KORVANE_WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvane' >/dev/null 2>&1 &&
    { echo "The uninstaller left its entry among the installed programs." >&2; exit 1; }
rm -rf "$installed" # the uninstaller run in place (_?=) cannot remove itself
echo "Installer: installed, ran and uninstalled."
tests/windows/wine_sessions.sh "$stage" "$build/tools/korvane-session.exe"
