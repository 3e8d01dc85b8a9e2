# Sourced by winerun and harness/i386/machine: the one fault of the test
# environment that their programs are run again for.
#
# Wine's X11 driver now and then ends a program whose threads or child
# processes end with windows alive (the allocation sweep's endings by design)
# on an X error from the display server (BadMatch in CreateGC), a fault of
# its own; Xlib then ends the process. Such a run says nothing of the
# program: up to twice, it is run again, every outcome shown.
x_error_reruns=2

# ended_by_x_error LOG: the program's error output shows that ending.
ended_by_x_error() { grep -q '^X Error of failed request' "$1"; }
