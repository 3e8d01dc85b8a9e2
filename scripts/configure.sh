#!/bin/bash
# Configures (once) a build tree.
#   configure.sh         the tree OSTRIVO_BUILD (default build/) for the
#                        host's Wine: x86_64, or 32-bit with OSTRIVO_ARCH=x86
#                        (see harness/wine/host-arch)
#   configure.sh i386    the 32-bit tree OSTRIVO_BUILD/i386, whose tests run
#                        in the emulated i386 machine (harness/i386)
# A tree configured otherwise than asked is configured afresh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
machine=OFF
if [ "${1:-}" = i386 ]; then
    build=$build/i386 toolchain=$root/cmake/mingw-i686.cmake machine=ON
else
    case $("$root/harness/wine/host-arch") in
        x86) toolchain=$root/cmake/mingw-i686.cmake ;;
        *) toolchain=$root/cmake/mingw-x86_64.cmake ;;
    esac
fi
if [ -f "$build/CMakeCache.txt" ] &&
    ! { grep -qx "CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain" "$build/CMakeCache.txt" &&
        grep -qx "OSTRIVO_I386_MACHINE:BOOL=$machine" "$build/CMakeCache.txt"; }; then
    rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DOSTRIVO_I386_MACHINE=$machine >/dev/null
fi
