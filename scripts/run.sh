#!/bin/bash
# Installs what is missing, builds Ostrivo.exe and runs it under Wine, in a
# prefix of its own (build/run-state) prepared with the fonts the dialog needs.
#
# With a usable X display (DISPLAY), the dialog opens there and the script
# waits until you close it. Without one, it starts a virtual display, runs the
# program inside a Wine virtual desktop (which draws window captions), prints
# the dialog's texts, saves a screenshot to build/screenshot.png, presses the
# Exit button and reports the exit code.
#
#   bash scripts/run.sh --demo   the same, with one simulated USB device (a
#                                child of the test bus, harness/testbus) that
#                                arrives a few seconds after the start and
#                                leaves a few seconds later: both lists change
#                                on their own, on Wine's own broadcast. Without
#                                a display, a screenshot is saved at each step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/setup.sh"
demo=0
case ${1:-} in
    --demo) demo=1 ;;
    "") ;;
    *) echo "usage: bash scripts/run.sh [--demo]" >&2; exit 2 ;;
esac
if [ $demo = 1 ]; then
    "$root/scripts/build.sh" Ostrivo probe desktop_keeper testbus ostrivo_testbus
else
    "$root/scripts/build.sh" Ostrivo probe desktop_keeper  # only what it runs
fi

exe=$build/app/Ostrivo.exe
probe=$build/harness/probe/probe.exe
export OSTRIVO_STATE=$build/run-state
user_display=${DISPLAY:-}

display_usable() {
    [ -n "$user_display" ] &&
        DISPLAY=$user_display timeout 10 import -window root -crop 1x1+0+0 null: >/dev/null 2>&1
}

stop_harness() { "$root/harness/wine/stop"; }

testbus() { wine "$build/harness/testbus/testbus.exe" "$@" | tr -d '\r'; }

# The demo's device: arrives, is seen, leaves. `shot` (optional) is called
# with a name after each step.
demo_device() {
    local shot=${1:-} serial
    sleep 3
    serial=$(testbus add --hwid 'USB\VID_1234&PID_5678&REV_0100' --hwid 'USB\VID_1234&PID_5678' \
        --desc 'Ostrivo demo device' --class '{36FC9E60-C465-11CF-8056-444553540000}' \
        --interface usb | cut -f1)
    [ -n "$serial" ] || { echo "run: the demo device could not be added" >&2; return 1; }
    echo "run: a USB device arrived (VID 1234, PID 5678)"
    sleep 5
    [ -z "$shot" ] || $shot arrived
    testbus remove "$serial" >/dev/null || echo "run: the demo device could not be removed" >&2
    echo "run: it left again"
    sleep 3
    [ -z "$shot" ] || $shot removed
}

# The probe prints "exit code: N" when the program ended; Exit ends it with 2.
report() {
    local log=$1 code
    code=$(sed -n 's/^exit code: //p' "$log" | tr -d '\r')
    if [ -z "$code" ]; then
        echo "run: Ostrivo did not end as expected" >&2
        return 1
    fi
    echo "run: Ostrivo ended with exit code $code"
}

run_on_display() {
    # harness/wine/start creates and configures the prefix on its own virtual display;
    # the program then runs on the user's display.
    "$root/harness/wine/start"
    "$root/harness/wine/stop"
    . "$root/harness/wine/env.sh"
    export DISPLAY=$user_display
    trap stop_harness EXIT
    local log=$OSTRIVO_STATE/probe.log
    echo "run: Ostrivo is open on $DISPLAY; close it to finish"
    if [ $demo = 1 ]; then
        # The server stopped above: the driver is started again for this one.
        testbus start >/dev/null
        demo_device &
    fi
    wine "$probe" show --until-closed "$(winepath -w "$exe")" | tee "$log" || true
    [ $demo = 0 ] || testbus clean >/dev/null || true
    report "$log"
}

run_headless() {
    "$root/harness/wine/start"
    trap stop_harness EXIT
    . "$root/harness/wine/env.sh"
    local ready=$OSTRIVO_STATE/probe-ready proceed=$OSTRIVO_STATE/probe-proceed
    local log=$OSTRIVO_STATE/probe.log shot=$build/screenshot.png
    rm -f "$ready" "$proceed" "$log"

    timeout -k 5 180 wine explorer /desktop=Ostrivo,1024x768 "$probe" show \
        --ready "$(winepath -w "$ready")" --proceed "$(winepath -w "$proceed")" \
        "$(winepath -w "$exe")" >"$log" 2>&1 &
    local pid=$!
    for _ in $(seq 600); do
        [ -f "$ready" ] || ! kill -0 "$pid" 2>/dev/null && break
        sleep 0.1
    done
    if [ -f "$ready" ]; then
        sleep 1  # let the dialog finish painting
        import -window root "$shot"
        echo "run: screenshot saved to $shot"
        if [ $demo = 1 ]; then
            demo_shot() {
                import -window root "$build/screenshot-$1.png"
                echo "run: screenshot saved to $build/screenshot-$1.png"
            }
            demo_device demo_shot || true
        fi
    else
        echo "run: the dialog did not appear" >&2
    fi
    touch "$proceed"
    wait "$pid" || true
    cat "$log"
    report "$log"
}

# A run that was cut short may have left its server and display behind.
stop_harness
if display_usable; then
    run_on_display
else
    [ -n "$user_display" ] && echo "run: display $user_display is not usable; running headless"
    run_headless
fi
