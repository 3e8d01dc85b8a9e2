#!/bin/bash
# Configures (once) and builds everything into build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/configure.sh"
cmake --build "$build" -j"$(nproc)" -- --no-print-directory
