#!/bin/bash
# Configures the build tree (OSTRIVO_BUILD, default build/) for the Windows
# programs this machine's Wine can run: 32-bit, or 64-bit where the kernel
# cannot run 32-bit programs (see harness/host-arch). A tree configured for
# the other architecture is configured afresh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
case $("$root/harness/host-arch") in
    x86) toolchain=$root/cmake/mingw-i686.cmake ;;
    *) toolchain=$root/cmake/mingw-x86_64.cmake ;;
esac
if [ -f "$build/CMakeCache.txt" ] &&
    ! grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain" "$build/CMakeCache.txt"; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
fi
