#!/bin/bash
# Installs what is missing, builds, and runs every test under Wine on a
# virtual display. Its output ends with CTest's summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
