#!/usr/bin/env bash
# Installs the Debian packages the Windows build needs, beside the Linux build's: the MinGW-w64
# cross compiler (posix threads), Ninja, the source-package tools that fetch Debian's Qt source,
# NSIS for the installer and Wine to run the result. The host Qt tools (moc, rcc, uic) are the
# Linux build's own.
exec "$(dirname "$0")/install-deps.sh" g++-mingw-w64-x86-64-posix ninja-build dpkg-dev nsis wine64 \
    xz-utils
