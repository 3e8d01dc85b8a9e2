#!/bin/bash
# Configures (once) and builds everything: build/ for the host's Wine and,
# unless build/ is itself the 32-bit build (OSTRIVO_ARCH=x86), build/i386 for
# the emulated i386 machine. Targets given as arguments are built in build/
# alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/configure.sh"
if [ $# -gt 0 ]; then
    cmake --build "$build" -j"$(nproc)" --target "$@" -- --no-print-directory
    exit
fi
cmake --build "$build" -j"$(nproc)" -- --no-print-directory
if [ "$("$root/harness/wine/host-arch")" != x86 ]; then
    "$root/scripts/configure.sh" i386
    cmake --build "$build/i386" -j"$(nproc)" -- --no-print-directory
fi
