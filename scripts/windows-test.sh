#!/usr/bin/env bash
# The Windows stage: cross-builds the four .aex modules with mingw-w64, then runs under wine the
# suites that load them, the check of the files themselves, and the comparison of their renders
# with the native modules' (whose build, the default preset, this brings up to date first).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh g++-mingw-w64-x86-64-posix wine64 wine googletest

cmake --preset default >/dev/null
cmake --build --preset default --target tavu-render-digest Mixara Chanweave Lumaguard Tintmap

# The prefix the build's emulator uses (cmake/mingw-w64-x86_64.cmake). One wine server and wine's
# own services for the whole stage, started here with no output attached: a service started by a
# test would hold that test's output open, and CTest would wait for it.
export WINEPREFIX="$PWD/build/windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1 || true  # a server of this prefix left from an earlier build
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k || true' EXIT
start=$SECONDS
wine wineboot </dev/null >/dev/null 2>&1
echo "wine prefix ready in $((SECONDS - start)) s"

cmake --preset windows >/dev/null
cmake --build --preset windows
ls -l build/windows/bin/*64.aex
ctest --preset windows
