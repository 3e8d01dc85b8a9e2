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
for i in $(seq "$rounds"); do
    echo "bench-startup: round $i of $rounds" >&2
    measure compare "$(winpath "$before")" "$floor" 1 >> "$tmp/before"
    measure compare "$(winpath "$build/app/Ostrivo.exe")" "$floor" 1 >> "$tmp/after"
    measure compare "$(winpath "$build/app/Ostrivo.exe")" "$(winpath "$before")" 1 >> "$tmp/direct"
done
median() { awk -v k="$1" '$1 == k { print $2 }' "$2" | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() { local s f; s=$(median start_ours "$2"); f=$(median start_floor "$2")
    echo "| $1 | $s | $f | $(ratio "$s" "$f") |"; }
section=$(
    echo "## Start-up of two builds"
    echo
    echo "Measured by \`bash scripts/bench-startup.sh\` on $(date -u '+%Y-%m-%d %H:%M UTC'), the same"
    echo "machine and Wine, pinned to one core, at Wine's own devices: the median of $rounds rounds"
    echo "in milliseconds, from process start until the dialog is up with its count filled in."
    echo "In each round both builds ran, each right after its own floor run (x86_64 builds)."
    echo
    echo "| build | start-up | floor | ratio |"
    echo "|---|---|---|---|"
    row "$before_name" "$tmp/before"
    row "$after_name" "$tmp/after"
    echo
    echo "The two builds one right after the other in each round, the earlier in place of"
    echo "the floor: $(median start_ours "$tmp/direct") against $(median start_floor "$tmp/direct"), ratio"
    echo "$(ratio "$(median start_ours "$tmp/direct")" "$(median start_floor "$tmp/direct")")."
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
