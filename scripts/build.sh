#!/bin/bash
# Configures (once) and builds everything into build/: for 32-bit Windows, or
# for 64-bit Windows on a machine whose Wine cannot run 32-bit programs (see
# harness/host-arch).
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
cmake --build "$build" -j"$(nproc)" -- --no-print-directory
