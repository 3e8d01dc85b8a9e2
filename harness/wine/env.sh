# Sourced by the harness scripts: the environment of the private Wine prefix.
# OSTRIVO_STATE names the folder (inside a build tree) that holds the prefix
# and the state of the virtual display.
: "${OSTRIVO_STATE:?OSTRIVO_STATE must name the harness state folder}"
export WINEPREFIX="$OSTRIVO_STATE/wineprefix"
OSTRIVO_HOST_ARCH=$("$(dirname "${BASH_SOURCE[0]}")/host-arch")
if [ "$OSTRIVO_HOST_ARCH" = x86 ]; then
    export WINEARCH=win32
else
    export WINEARCH=win64
    export WINELOADER=/usr/lib/wine/wine64
    PATH="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64-bin:$PATH"
    export PATH
fi
export WINEDEBUG=-all
# winedbg would wait for ever on a crash; mono and gecko installers would
# prompt on the first start of the prefix.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"
if [ -f "$OSTRIVO_STATE/display" ]; then
    DISPLAY=$(cat "$OSTRIVO_STATE/display")
    export DISPLAY
fi
# Pinning to one core keeps wineserver round trips stable for measurements.
PIN=()
if [ "${OSTRIVO_PIN:-0}" = 1 ]; then PIN=(taskset -c 0); fi
