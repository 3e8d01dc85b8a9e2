#!/bin/bash
# Installs what is missing, builds Ostrivo.exe and says where it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
echo "Ostrivo.exe: $build/app/Ostrivo.exe"
