#!/bin/bash
# Takes docs/screenshot.png of what users get: the 32-bit Ostrivo.exe, run
# with 32-bit Wine in the emulated i386 machine, in a Wine virtual desktop
# (which draws the caption). Builds the program and the probe in build/i386.
#   screenshot.sh        at 100 %: docs/screenshot.png
#   screenshot.sh 150    at 150 % (144 DPI): docs/screenshot-150.png; 125
#                        likewise (at 200 % the dialog outgrows the
#                        machine's 1024x768 display)
set -euo pipefail
percent=${1:-100}
case $percent in
    100) out=screenshot.png ;;
    125|150) out=screenshot-$percent.png ;;
    *) echo "usage: screenshot.sh [100|125|150]" >&2; exit 2 ;;
esac
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
if [ "$percent" != 100 ]; then
    # Wine reads the scale when a program starts, so the dialog started
    # below takes it; the machine's disk is a snapshot, dropped at its stop.
    dpi=$((percent * 96 / 100))
    for key in 'HKCU\Control Panel\Desktop' \
        'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
        "$machine" shell "wine reg add '$key' /v LogPixels /t REG_DWORD /d $dpi /f" >/dev/null
    done
fi
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
"$machine" screenshot "$root/docs/$out"
touch "$share/probe-proceed"
wait $probe || true
cat "$OSTRIVO_I386_STATE/probe.log"
grep -q '^exit code: 2' "$OSTRIVO_I386_STATE/probe.log"
echo "screenshot: docs/$out"
