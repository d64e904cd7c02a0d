#!/usr/bin/env bash
# Builds one deliverable from its CMake preset, checks the artifact for what
# its target promises (what it links and exports, and the instructions it
# holds), prints the receive front end's cost per second of audio for the
# target's backend, then runs the whole test suite (under qemu-arm, on the
# model of the target's processor, or under wine for the cross targets) and
# reports how long it took. The tests come last, so that ctest's summary
# closes the output.
#
# The ARMv6 library is built for hard float against Debian's armhf runtime,
# which needs ARMv7, so its suite cannot run on an ARM1176 model. For
# raspbian-armv6 the shipped library is built, checked and run by the demo
# (on a Cortex-A7 model); the suite then runs from the raspbian-armv6-armel
# build (same instructions, armel calling convention) on qemu's ARM1176,
# in the build directory with "-armel" appended.
#
# Usage: scripts/build-target.sh PRESET [-- CTEST_ARGS...]
#   PRESET: linux-x86_64, raspbian-armv6, raspbian-armv6-armel, raspbian-armv7,
#           windows-x86_64, accelerate-standin, ne10-standin
#           (see CMakePresets.json)
#   CTEST_ARGS: extra ctest arguments, e.g. -E 'Slow' or -L unit
# Environment:
#   TOVAN_BUILD_DIR   build directory (default out/PRESET)
#   TOVAN_JOBS        compile jobs (default 3)
#   TOVAN_TEST_JOBS   parallel tests (default 8)
#   TOVAN_TIMING      0 skips the front-end timing (default 1; sanitized
#                     builds always skip it)
#   TOVAN_CMAKE_ARGS  extra configure arguments, e.g. -DTOVAN_SANITIZE=ON
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:?usage: build-target.sh PRESET [-- CTEST_ARGS...]}
shift
if [ "${1:-}" = "--" ]; then
    shift
fi
ctest_args=("$@")
dir=${TOVAN_BUILD_DIR:-$root/out/$preset}
jobs=${TOVAN_JOBS:-3}
test_jobs=${TOVAN_TEST_JOBS:-8}

# Debian installs the 64-bit loader and server outside PATH.
wine_tool() {
    if [ -x "/usr/lib/wine/$1" ]; then
        echo "/usr/lib/wine/$1"
    else
        command -v "$1" || command -v "$2"
    fi
}

# emulator: runs the test build's programs outside ctest (the front-end
# timing), on the same processor model as the toolchain file gives ctest.
# isa: the instruction-set profile of tests/artifacts/check_instruction_set.sh.
emulator=""
isa=x86-64
test_preset=$preset
case $preset in
    raspbian-armv6 | raspbian-armv6-armel)
        "$root/scripts/install-cross-deps.sh" arm
        emulator="qemu-arm -cpu arm1176 -L /usr/arm-linux-gnueabi"
        isa=armv6
        test_preset=raspbian-armv6-armel
        ;;
    raspbian-armv7)
        "$root/scripts/install-cross-deps.sh" arm
        emulator="qemu-arm -cpu cortex-a7 -L /usr/arm-linux-gnueabihf"
        isa=armv7-neon
        ;;
    windows-x86_64)
        "$root/scripts/install-cross-deps.sh" windows
        emulator="env WINEDEBUG=-all WINEPREFIX=/tmp/tovan-wine $(wine_tool wine64 wine)"
        # One wine server for the whole run, kept 60 s after its last client:
        # each test program then starts in a fraction of a second.
        env WINEPREFIX=/tmp/tovan-wine "$(wine_tool wineserver wineserver)" -p 60 >/dev/null 2>&1 || true
        # Make the prefix now, not inside the first tests that run in parallel.
        $emulator wineboot --init >/dev/null 2>&1 || true
        ;;
    linux-x86_64 | accelerate-standin | ne10-standin) ;;
    *) echo "unknown preset '$preset'" >&2; exit 2 ;;
esac
test_dir=$dir
if [ "$test_preset" != "$preset" ]; then
    test_dir=$dir${test_preset#"$preset"}
fi

stage() { echo "== $preset: $*"; }
seconds_since() { echo $(($(date +%s) - $1)); }
sanitized() { grep -q '^TOVAN_SANITIZE:BOOL=ON' "$1/CMakeCache.txt"; }

# configure_and_build PRESET DIR [TARGET...]: everything unless targets are named.
configure_and_build() {
    local name=$1 build_dir=$2
    shift 2
    stage "configure $name in $build_dir"
    # shellcheck disable=SC2086
    cmake --preset "$name" -B "$build_dir" ${TOVAN_CMAKE_ARGS:-} >/dev/null
    stage "build $name${1:+ ($*)}"
    local start
    start=$(date +%s)
    local targets=()
    [ $# -gt 0 ] && targets=(--target "$@")
    cmake --build "$build_dir" -j "$jobs" "${targets[@]}"
    echo "build took $(seconds_since "$start") s"
}

check_artifacts() {
    local build_dir=$1
    stage "artifact checks in $build_dir"
    local lib
    lib=$(find "$build_dir" -maxdepth 1 \( -name 'libtovan-sdk*.so' -o -name 'libtovan-sdk*.dll' \) -print -quit)
    [ -n "$lib" ] || { echo "FAIL: no shared deliverable in $build_dir"; exit 1; }
    echo "deliverable: $lib"
    # What it links and exports (ELF or DLL); sanitizer runtimes would add
    # entries of their own.
    if ! sanitized "$build_dir"; then
        bash "$root/tests/artifacts/check_deliverable.sh" "$lib" "$root/sdk/tovan_sdk.h"
    fi
    bash "$root/tests/artifacts/check_instruction_set.sh" "$isa" "$lib"
    if [ "$preset" = raspbian-armv7 ]; then
        if find "$build_dir/CMakeFiles" -path '*tovan_dsp_objects.dir/dsp/generic/*' \
            \( -name 'rdft*.o' -o -name 'fft_backend*.o' \) | grep -q .; then
            echo "FAIL: the Ne10 build compiled the portable FFT"
            exit 1
        fi
        if nm "$lib" | grep -qE ' (rdft|_Z4rdft)'; then
            echo "FAIL: $lib carries the portable FFT"
            exit 1
        fi
        echo "no portable FFT object"
    fi
}

if [ "$test_preset" != "$preset" ]; then
    # The shipped library: built, checked, and loaded by the demo.
    configure_and_build "$preset" "$dir" tovan_sdk_shared tovan_demo
    check_artifacts "$dir"
    stage "the demo against the shipped library"
    ctest --test-dir "$dir" -L artifacts --output-on-failure --no-tests=error
fi
configure_and_build "$test_preset" "$test_dir"
check_artifacts "$test_dir"

# Sanitized builds time nothing: their figures would mean little.
if [ "${TOVAN_TIMING:-1}" != "0" ] && ! sanitized "$test_dir"; then
    stage "front-end timing"
    exe=$test_dir/tovan_frontend_timing
    [ "$preset" = windows-x86_64 ] && exe=$exe.exe
    # shellcheck disable=SC2086
    $emulator "$exe" "${TOVAN_TIMING_SECONDS:-3}" "${TOVAN_TIMING_RUNS:-3}"
fi

stage "test"
start=$(date +%s)
status=0
ctest --test-dir "$test_dir" -j "$test_jobs" --output-on-failure --no-tests=error "${ctest_args[@]}" || status=$?
echo "$preset: test run took $(seconds_since "$start") s"
exit $status
