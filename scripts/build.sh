#!/bin/bash
# Configures (once) and builds everything into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" -- --no-print-directory
