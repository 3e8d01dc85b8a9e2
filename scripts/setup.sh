#!/bin/bash
# Installs what the build, the tests and the run need on Debian 12.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
packages=(wine wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 gcc libx11-dev xvfb xauth imagemagick
          fonts-wqy-zenhei fonts-wine cmake googletest)
# 32-bit Wine only where the host is to run the 32-bit build itself.
[ "$("$root/harness/wine/host-arch")" = x86 ] && packages+=(wine32:i386)
# npm for the CI workflow's validator (scripts/workflow-check); a Node.js of
# another origin that brings its own npm serves as well.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    echo "setup: installing ${missing[*]}"
    if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi
"$root/scripts/workflow-check/check.sh" --install
