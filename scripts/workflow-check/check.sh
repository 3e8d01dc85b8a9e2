#!/bin/bash
# Validates .github/workflows/ci.yml against the CI service's workflow schema
# with action-validator from the npm registry, at the versions that
# package-lock.json pins.
#   check.sh             validates (run by the test command, through CTest)
#   check.sh --install   installs the validator if need be (scripts/setup.sh)
# The validator lives in ~/.cache/ostrivo-workflow-check (OSTRIVO_NPM_CACHE),
# once for each lock file.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cache=${OSTRIVO_NPM_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ostrivo-workflow-check}
dir=$cache/$(cat "$here/package.json" "$here/package-lock.json" | sha256sum | cut -c1-16)
validator=$dir/node_modules/.bin/action-validator

if [ "${1:-}" = --install ]; then
    [ -x "$validator" ] && exit 0
    echo "workflow-check: installing action-validator from the npm registry"
    rm -rf "$cache"
    mkdir -p "$dir"
    cp "$here/package.json" "$here/package-lock.json" "$dir/"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
    exit
fi
[ -x "$validator" ] || { echo "workflow-check: no validator; run scripts/setup.sh" >&2; exit 1; }
"$validator" "$root/.github/workflows/ci.yml"
echo "workflow-check: .github/workflows/ci.yml is valid against the workflow schema"
