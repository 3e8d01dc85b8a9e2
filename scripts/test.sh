#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine on a
# virtual display, twice: the x86_64 build on the host, and the 32-bit build
# (build/i386, the program users get) in the emulated i386 machine, whose
# image is made while the sources build (~9 minutes, once per recipe).
# Arguments go to both CTest runs. Its output ends with a summary line for
# both. (OSTRIVO_ARCH=x86: the 32-bit build alone, on a host that runs it;
# see harness/wine/host-arch.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/setup.sh"
machine=0
[ "$("$root/harness/wine/host-arch")" != x86 ] && machine=1
image_pid=
if [ $machine = 1 ]; then
    mkdir -p "$build"
    "$root/harness/i386/image" > "$build/i386-image.log" 2>&1 &
    image_pid=$!
fi
"$root/scripts/build.sh"

t0=$(date +%s)
host_rc=0
(cd "$build" && ctest --output-on-failure -j"$(nproc)" "$@") || host_rc=$?
host_s=$(( $(date +%s) - t0 ))
if [ $machine = 0 ]; then
    echo "test: the 32-bit build on the host: $([ $host_rc = 0 ] && echo passed || echo FAILED) in ${host_s} s"
    exit $host_rc
fi

t1=$(date +%s)
guest_rc=0
if wait "$image_pid"; then
    t2=$(date +%s)
    # Three programs at once on the machine's two processors: measured with a
    # one-core CPU hog on a two-core host, the 32-bit part took 531 s so,
    # 552 s with two at once, 686 s with three processors, and with four at
    # once it took 673 s and four tests failed.
    (cd "$build/i386" && ctest --output-on-failure -j3 "$@") || guest_rc=$?
else
    t2=$(date +%s)
    guest_rc=1
    cat "$build/i386-image.log" >&2
    echo "test: the emulated i386 machine's image could not be made" >&2
fi
verdict() { [ "$1" = 0 ] && echo passed || echo FAILED; }
echo "test: x86_64 build on the host: $(verdict $host_rc) in ${host_s} s;" \
    "32-bit build in the emulated i386 machine: $(verdict $guest_rc) in $(( $(date +%s) - t2 )) s" \
    "(after $(( t2 - t1 )) s waiting for its image)"
[ $host_rc = 0 ] && [ $guest_rc = 0 ]
