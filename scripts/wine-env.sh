# Sourced by the Windows scripts: a Wine prefix of Korvane's own (made on first use, outside the
# clone, beside the Windows Qt), quiet, with no .NET or browser engine offered, and with the Qt
# libraries and the MinGW runtime on the DLL path for programs run from the build tree.
# Needs: $KORVANE_WINDOWS_QT (the Windows Qt's prefix).
export KORVANE_WINE=${KORVANE_WINE:-/usr/lib/wine/wine64}
export WINEPREFIX=${KORVANE_WINEPREFIX:-${KORVANE_WINDOWS_CACHE:-$HOME/.cache/korvane-windows}/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
_korvane_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="Z:$KORVANE_WINDOWS_QT/bin;Z:$_korvane_runtime;Z:/usr/x86_64-w64-mingw32/lib"
unset _korvane_runtime
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$KORVANE_WINE" wineboot --init >/dev/null 2>&1 || true
    "${KORVANE_WINE%/*}/wineserver" -w 2>/dev/null || true
fi
