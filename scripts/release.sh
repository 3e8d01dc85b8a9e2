#!/bin/bash
# Builds the release of Ostrivo from the current commit.
#
#   bash scripts/release.sh           writes dist/Ostrivo-<version>-x86.zip
#                                     (Ostrivo.exe and README.txt),
#                                     dist/Ostrivo-<version>-tests-x86.zip (the
#                                     test bundle, with the released exe) and
#                                     dist/SHA256SUMS (the zips and the exe)
#   bash scripts/release.sh --check   builds twice, in two directories one
#                                     after the other, and compares the bytes
#
# The released program is the 32-bit build (cmake/mingw-i686.cmake) in its
# release configuration, whatever the machine. The sources are the commit's
# (git archive), never the working tree's. Before anything is written the exe
# must pass the static checks of scripts/release/pecheck.py and run, the very
# bytes that go into the zip, with 32-bit Wine in the emulated i386 machine
# (harness/i386): its dialog up, its count filled in and exit code 2 from the
# Exit button. The test bundle (scripts/bundle.sh) of the same build must
# pass too: unpacked into a new Wine prefix in that machine, its
# run-tests.cmd run as on a Windows PC with nothing installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tools=$root/scripts/release

mode=release
case "${1:-}" in
    "") ;;
    --check) mode=check ;;
    *) echo "usage: bash scripts/release.sh [--check]" >&2; exit 2 ;;
esac

say() { echo "release: $*"; }
fail() { echo "release: $*" >&2; exit 1; }

"$root/scripts/setup.sh"
# The bytes must not depend on the time, not even on one handed in.
unset SOURCE_DATE_EPOCH

commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    say "note: uncommitted changes are not in the release, which is built from the commit"
fi
# The version record is written once, in the resource script of the commit.
version=$(git -C "$root" show HEAD:ui/resources/ostrivo.rc |
    sed -n 's/^#define OSTRIVO_VERSION //p' | tr -d ' \r' | tr , .)
[[ $version =~ ^[0-9]+(\.[0-9]+){3}$ ]] ||
    fail "no version record (#define OSTRIVO_VERSION a, b, c, d) in ui/resources/ostrivo.rc"
name=Ostrivo-$version-x86
# Zip entries carry the commit's time, in UTC: fixed for the commit.
stamp=$(TZ=UTC git -C "$root" show -s --format=%cd --date=format-local:%Y-%m-%dT%H:%M:%S HEAD)

work=$(mktemp -d "${TMPDIR:-/tmp}/ostrivo-release.XXXXXX")
machine=$root/harness/i386/machine
machine_state=
cleanup() {
    [ -n "$machine_state" ] && OSTRIVO_I386_STATE=$machine_state "$machine" stop
    rm -rf "$work"
}
trap cleanup EXIT

# build DIR ARCH TARGET... : the commit's sources in DIR/src, built for ARCH
# (i686 or x86_64) in DIR/build-ARCH.
build() {
    local dir=$1 arch=$2
    shift 2
    local tree=$dir/build-$arch log=$dir/build-$arch.log
    if [ ! -d "$dir/src" ]; then
        mkdir -p "$dir/src"
        git -C "$root" archive --format=tar "$commit" | tar -x -C "$dir/src"
    fi
    if ! { cmake -S "$dir/src" -B "$tree" -DCMAKE_BUILD_TYPE=Release \
               -DCMAKE_TOOLCHAIN_FILE="$dir/src/cmake/mingw-$arch.cmake" &&
           cmake --build "$tree" -j"$(nproc)" --target "$@" -- --no-print-directory; } \
           >"$log" 2>&1; then
        tail -n 40 "$log" >&2
        fail "the $arch build failed"
    fi
    if grep -q -i 'warning:' "$log"; then
        grep -i 'warning:' "$log" >&2
        fail "the $arch build gave warnings"
    fi
}

# package DIR: DIR/$name.zip from DIR's i686 build, and the checks of the
# README.txt in it (UTF-8 with BOM and CR LF for Notepad, the dialog's texts).
package() {
    local dir=$1
    { printf '\xef\xbb\xbf'
      sed -e "s/@VERSION@/$version/g" -e "s/@COMMIT@/$commit/g" -e 's/$/\r/' \
          "$dir/src/scripts/release/README.txt"; } >"$dir/README.txt"
    python3 "$tools/zip.py" "$dir/$name.zip" "$stamp" \
        "Ostrivo.exe=$dir/build-i686/app/Ostrivo.exe" "README.txt=$dir/README.txt"
    say "checks of the packed README.txt"
    python3 "$tools/readmecheck.py" "$dir/$name.zip" "$dir/src" ||
        fail "the packed README.txt failed its checks; nothing written"
}

# dialog_check EXE PROBE: runs EXE in the emulated i386 machine (state in
# $machine_state) through the probe, which reads the dialog's count and
# presses Exit. Prints the outcome; status 0 if the machine ran EXE's own
# bytes, the dialog came up with a count and Exit ended the program with 2.
dialog_check() {
    local exe=$1 probe=$2 log=$machine_state.log
    export OSTRIVO_I386_STATE=$machine_state OSTRIVO_I386_TREE=$(dirname "$(dirname "$exe")")
    "$machine" start 2>"$machine_state.start.log" ||
        { echo "the emulated i386 machine did not start:"; sed 's/^/      /' "$machine_state.start.log"; return 1; }
    "$machine" run --timeout 300 "$probe" show --timeout 180 "Z:${exe//\//\\}" >"$log" 2>&1 || true
    local count code sum ran
    count=$(sed -n 's/^device count: //p' "$log" | tr -d '\r')
    code=$(sed -n 's/^exit code: //p' "$log" | tr -d '\r')
    sum=$(sha256sum <"$exe" | cut -d' ' -f1)
    ran=$(awk -v p="$exe" '$2 == p { print $1 }' "$machine_state/share/programs.sha256")
    if [ "$ran" != "$sum" ]; then
        echo "the machine's copy of the exe is not the released bytes (${ran:-none} against $sum)"
        return 1
    fi
    if [[ $count =~ ^[1-9][0-9]*$ ]] && [ "$code" = 2 ]; then
        echo "exe $sum run with 32-bit Wine in the emulated i386 machine: dialog up,"
        echo "        device count $count, Exit ended it with exit code 2"
        return 0
    fi
    echo "dialog check failed (count '${count}', exit code '${code}'); the probe said:"
    sed 's/^/      /' "$log"
    return 1
}

# bundle_check ZIP EXE: runs the test bundle ZIP in the emulated i386 machine
# that dialog_check started: unpacked into a new Wine prefix that nothing
# set up (no test bus, fonts or overrides), `wine cmd /c run-tests.cmd`.
# Prints the outcome; status 0 if the bundle's Ostrivo.exe there is EXE's
# bytes, run-tests.cmd ended with 0 and its closing lines name every program
# it runs as passed.
bundle_check() {
    local zip=$1 exe=$2 share=$machine_state/share log=$machine_state.bundle.log
    export OSTRIVO_I386_STATE=$machine_state
    rm -rf "$share/bundle"
    mkdir -p "$share/bundle"
    python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$share/bundle"
    # Copied into the prefix, on the machine's memory disk (/tmp; its root
    # disk has too little room left for a second prefix): Wine must not map
    # programs from the share (harness/i386/machine). Only the prefix's creation is told not
    # to offer Mono and Gecko, whose installers would wait for a click.
    OSTRIVO_TIMEOUT=5400 "$machine" shell '
        unset WINEDLLOVERRIDES
        export WINEPREFIX=/tmp/fresh-prefix
        rm -rf "$WINEPREFIX"
        WINEDLLOVERRIDES="mscoree=d;mshtml=d" wineboot -i >/dev/null 2>&1; wineserver -w
        dir=$WINEPREFIX/drive_c/ostrivo-tests
        mkdir -p "$dir" && cp bundle/* "$dir" && cd "$dir"
        echo "bundle exe: $(sha256sum < Ostrivo.exe | cut -d" " -f1)"
        wine cmd /c run-tests.cmd | tr -d "\r"
        echo "run-tests.cmd exit code: ${PIPESTATUS[0]}"
        timeout 120 wineserver -w || echo "left running after run-tests.cmd"' >"$log" 2>&1 || true
    local sum ran expected last code
    sum=$(sha256sum <"$exe" | cut -d' ' -f1)
    ran=$(sed -n 's/^bundle exe: //p' "$log")
    code=$(sed -n 's/^run-tests.cmd exit code: //p' "$log")
    expected=$(printf '%s passed, 0 failed\n%s not run' \
        "$(grep -c '^call :run ' "$share/bundle/run-tests.cmd")" \
        "$(grep -c '^call :notrun ' "$share/bundle/run-tests.cmd")")
    last=$(grep -B2 '^run-tests.cmd exit code: ' "$log" | head -n 2)
    if [ "$ran" = "$sum" ] && [ "$code" = 0 ] && [ "$last" = "$expected" ] &&
        ! grep -q '^left running' "$log"; then
        echo "run-tests.cmd in a new 32-bit Wine prefix: ${last//$'\n'/, }, exit code 0"
        return 0
    fi
    echo "the test bundle failed in a new prefix (exe ${ran:-none}, exit code '${code}'); it printed:"
    sed 's/^/      /' "$log"
    return 1
}

release() {
    local dir=$work/one exe=$work/one/build-i686/app/Ostrivo.exe
    say "Ostrivo $version from commit $commit"
    say "building the 32-bit program (i686, Release)"
    # Everything: the test bundle takes the tree's test programs.
    build "$dir" i686 all

    say "static checks of the released Ostrivo.exe"
    python3 "$tools/pecheck.py" --objdump i686-w64-mingw32-objdump --format pei-i386 \
        --version "$version" --no-path "$work" --no-path "$root" "$exe" ||
        fail "the released exe failed its static checks; nothing written"

    say "run in the emulated i386 machine"
    local outcome
    machine_state=$work/i386  # set here: the checks run in subshells
    outcome=$(dialog_check "$exe" "$dir/build-i686/harness/probe/probe.exe") ||
        { echo "  FAIL  the released 32-bit Ostrivo.exe: $outcome"
          fail "the released exe failed its run in the emulated i386 machine; nothing written"; }
    echo "  ok    the released 32-bit Ostrivo.exe: $outcome"

    say "the test bundle, with the released exe, in a new Wine prefix in the emulated i386 machine"
    "$root/scripts/bundle.sh" "$dir/build-i686" "$work/bundle" "$exe" >/dev/null
    local tests
    tests=Ostrivo-$version-tests-x86.zip
    outcome=$(bundle_check "$work/bundle/$tests" "$exe") ||
        { echo "  FAIL  $outcome"
          fail "the test bundle failed in the emulated i386 machine; nothing written"; }
    echo "  ok    $outcome"

    package "$dir"
    rm -rf "$root/dist"
    mkdir -p "$root/dist"
    cp "$dir/$name.zip" "$work/bundle/$tests" "$root/dist/"
    (cd "$root/dist" && sha256sum "$name.zip" "$tests") >"$root/dist/SHA256SUMS"
    (cd "$dir/build-i686/app" && sha256sum Ostrivo.exe) >>"$root/dist/SHA256SUMS"
    say "wrote dist/$name.zip and dist/SHA256SUMS:"
    sed 's/^/  /' "$root/dist/SHA256SUMS"
}

check() {
    local dirs=("$work/one" "$work/second-build") dir
    for dir in "${dirs[@]}"; do
        say "$(date -u +%H:%M:%S) building in $dir"
        build "$dir" i686 Ostrivo
        package "$dir"
    done
    local differ=0
    say "Ostrivo.exe of the two builds:"
    python3 "$tools/compare.py" "${dirs[0]}/build-i686/app/Ostrivo.exe" \
        "${dirs[1]}/build-i686/app/Ostrivo.exe" || differ=1
    say "$name.zip of the two builds:"
    python3 "$tools/compare.py" "${dirs[0]}/$name.zip" "${dirs[1]}/$name.zip" || differ=1
    if [ $differ = 1 ]; then
        fail "the two builds differ"
    fi
    say "the two builds are byte-identical"
}

"$mode"
