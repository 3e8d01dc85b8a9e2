#!/bin/bash
# Packs the test bundle of a build tree, for running the tests on Windows
# itself: the test programs that run-tests.cmd runs, run-test.exe, the
# program under test and run-tests.cmd (harness/bundle), as
# OUT/Ostrivo-<version>-tests-<x86|x64>.zip.
#
#   bash scripts/bundle.sh [BUILD [OUT [PROGRAM]]]
#
# BUILD: a built tree (default build/); OUT: where the zip goes (default
# dist/); PROGRAM: the Ostrivo.exe to pack (default BUILD/app/Ostrivo.exe; the
# release script gives the released exe's very bytes). Every test program of
# the tree must be named in run-tests.cmd, run or listed as not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=${2:-$root/dist}
program=${3:-$build/app/Ostrivo.exe}
fail() { echo "bundle: $*" >&2; exit 1; }

cache=$build/CMakeCache.txt
[ -f "$cache" ] || fail "$build is not a build tree"
source_dir=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$cache")
case $(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$cache") in
    *i686*) arch=x86 ;;
    *x86_64*) arch=x64 ;;
    *) fail "no MinGW-w64 toolchain in $cache" ;;
esac
version=$(sed -n 's/^#define OSTRIVO_VERSION //p' "$source_dir/ui/resources/ostrivo.rc" | tr -d ' \r' | tr , .)
[[ $version =~ ^[0-9]+(\.[0-9]+){3}$ ]] || fail "no version record in ui/resources/ostrivo.rc"
script=$source_dir/harness/bundle/run-tests.cmd

run=$(sed -n 's/^call :run \([A-Za-z0-9_]*\)\r\{0,1\}$/\1/p' "$script")
named=$(sed -n 's/^call :\(run\|notrun\) "\{0,1\}\([A-Za-z0-9_]*\).*/\2/p' "$script")
# The tree's test programs: what the tests folders build, less the copies
# of other programs put beside them and the benchmarks.
built=$(cd "$build/tests" && find . -name '*.exe' ! -name Ostrivo.exe ! -name devsim.exe \
            ! -name '*_benchmark.exe' -printf '%f\n' | sed 's/\.exe$//' | sort)
[ -n "$built" ] || fail "no test programs in $build/tests: build the tree first"
for name in $built; do
    grep -qx "$name" <<<"$named" || fail "$name is neither run nor listed as not run in $script"
done

entries=("Ostrivo.exe=$program" "run-test.exe=$build/harness/bundle/run-test.exe")
for name in $run; do
    exe=$(find "$build/tests" -name "$name.exe" | head -n 1)
    [ -n "$exe" ] || fail "$name.exe, which run-tests.cmd runs, was not built"
    entries+=("$name.exe=$exe")
done
programs=$(( ${#entries[@]} - 2 ))
# What a test program finds beside itself besides the program under test.
if grep -qx e2e_planted_dll_tests <<<"$run"; then
    entries+=("ostrivo_marker.dll=$build/tests/e2e/ostrivo_marker.dll")
fi
for entry in "${entries[@]}"; do
    [ -f "${entry#*=}" ] || fail "${entry#*=} is missing: build the tree first"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# cmd.exe reads its scripts with CR LF line ends.
sed 's/\r\{0,1\}$/\r/' "$script" >"$work/run-tests.cmd"
entries+=("run-tests.cmd=$work/run-tests.cmd")

mkdir -p "$out"
zip=$out/Ostrivo-$version-tests-$arch.zip
# Entries carry the commit's time, as the release's do.
stamp=$(TZ=UTC git -C "$root" show -s --format=%cd --date=format-local:%Y-%m-%dT%H:%M:%S HEAD 2>/dev/null ||
        echo 2000-01-01T00:00:00)
python3 "$root/scripts/release/zip.py" "$zip" "$stamp" "${entries[@]}"
echo "bundle: wrote $zip ($programs test programs)"
