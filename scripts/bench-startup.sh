#!/bin/bash
# Start-up of two builds of Ostrivo side by side in one run: BEFORE.exe (an
# earlier build of the host's architecture) and this tree's build, each
# against the floor program, and the two one after the other; rounds
# interleaved, under Wine pinned to one core at Wine's own devices. Rewrites
# the section "Start-up of two builds" of docs/performance.md (scripts/bench.sh
# keeps it).
#   bash scripts/bench-startup.sh BEFORE.exe "what BEFORE is" "what this build is"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${OSTRIVO_BUILD:-$root/build}
rounds=${ROUNDS:-9}
before=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
before_name=$2 after_name=$3
out=$root/docs/performance.md

OSTRIVO_BUILD=$build "$root/scripts/configure.sh"
cmake --build "$build" -j"$(nproc)" --target Ostrivo bench_measure bench_floor >/dev/null
export OSTRIVO_STATE=$build/harness-state OSTRIVO_PIN=1
"$root/harness/wine/start" >/dev/null
trap '"$root/harness/wine/stop" >/dev/null 2>&1 || true' EXIT
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }
measure() { "$root/harness/wine/run" --timeout 900 "$build/harness/bench/bench_measure.exe" "$@" | tr -d '\r'; }
floor=$(winpath "$build/harness/bench/bench_floor.exe")
tmp=$(mktemp -d)
after=$(winpath "$build/app/Ostrivo.exe") before=$(winpath "$before")
# Each pair in both orders: the first program of a pair pays for whatever the
# second then finds warm.
echo "bench-startup: each build against the floor" >&2
measure compare "$before" "$floor" "$rounds" > "$tmp/before"
measure compare "$after" "$floor" "$rounds" > "$tmp/after"
echo "bench-startup: the two builds against each other, in both orders" >&2
measure compare "$after" "$before" "$rounds" > "$tmp/after_first"
measure compare "$before" "$after" "$rounds" > "$tmp/before_first"
get() { awk -v k="$1" '$1 == k { print $2; exit }' "$2"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

section=$(
    echo "## Start-up of two builds"
    echo
    echo "Measured by \`bash scripts/bench-startup.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), the same"
    echo "machine and Wine, pinned to one core, at Wine's own devices: medians of $rounds rounds"
    echo "in milliseconds, from process start until the dialog is up with its count filled in"
    echo "(x86_64 builds). Each row is one run of the benchmark's comparison, its two programs"
    echo "alternating round by round; all rows come from one start of Wine."
    echo
    echo "| first program | start-up | second program | start-up | ratio |"
    echo "|---|---|---|---|---|"
    pair() { echo "| $1 | $(get start_ours "$3") | $2 | $(get start_floor "$3") | $(ratio "$(get start_ours "$3")" "$(get start_floor "$3")") |"; }
    pair "$before_name" floor "$tmp/before"
    pair "$after_name" floor "$tmp/after"
    pair "$after_name" "$before_name" "$tmp/after_first"
    pair "$before_name" "$after_name" "$tmp/before_first"
    echo
    echo "Load average (1, 5, 15 minutes) when the measuring ended: $(cut -d' ' -f1-3 /proc/loadavg)."
)
# The section replaces an earlier one, or comes last.
awk -v section="$section" '
    /^## Start-up of two builds/ { skip = 1; print section; done = 1; next }
    skip && /^## / { skip = 0 }
    !skip { print }
    END { if (!done) { print ""; print section } }' "$out" > "$tmp/out"
mv "$tmp/out" "$out"
rm -rf "$tmp"
echo "bench-startup: wrote $out" >&2
