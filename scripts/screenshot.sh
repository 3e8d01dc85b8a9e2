#!/bin/bash
# Takes docs/screenshot.png of what users get: the 32-bit Ostrivo.exe, run
# with 32-bit Wine in the emulated i386 machine, in a Wine virtual desktop
# (which draws the caption). Builds the program and the probe in build/i386.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/configure.sh" i386
cmake --build "$build/i386" -j"$(nproc)" --target Ostrivo probe -- --no-print-directory >/dev/null

machine=$root/harness/i386/machine
export OSTRIVO_I386_STATE=$build/i386/screenshot-state OSTRIVO_I386_TREE=$build/i386
share=$OSTRIVO_I386_STATE/share
trap '"$machine" stop' EXIT
"$machine" start
# The probe's markers lie in the shared folder, Z:\mnt\share in the machine.
rm -f "$share/probe-ready" "$share/probe-proceed"
"$machine" run --timeout 600 --desktop Ostrivo,1024x768 "$build/i386/harness/probe/probe.exe" \
    show --timeout 300 --ready 'Z:\mnt\share\probe-ready' --proceed 'Z:\mnt\share\probe-proceed' \
    "Z:${build//\//\\}\\i386\\app\\Ostrivo.exe" > "$OSTRIVO_I386_STATE/probe.log" 2>&1 &
probe=$!
for _ in $(seq 3000); do
    [ -e "$share/probe-ready" ] || ! kill -0 $probe 2>/dev/null && break
    sleep 0.2
done
[ -e "$share/probe-ready" ] || { cat "$OSTRIVO_I386_STATE/probe.log" >&2; echo "screenshot: the dialog did not appear" >&2; exit 1; }
sleep 5  # the emulated machine paints slowly
"$machine" screenshot "$root/docs/screenshot.png"
touch "$share/probe-proceed"
wait $probe || true
cat "$OSTRIVO_I386_STATE/probe.log"
grep -q '^exit code: 2' "$OSTRIVO_I386_STATE/probe.log"
echo "screenshot: docs/screenshot.png"
