#!/usr/bin/env bash
# Builds one deliverable from its CMake preset, checks the artifact for what
# its target promises, prints the receive front end's cost per second of audio
# for the target's backend, then runs the whole test suite (under qemu-arm or
# wine for the cross targets) and reports how long it took. The tests come
# last, so that ctest's summary closes the output.
#
# Usage: scripts/build-target.sh PRESET [-- CTEST_ARGS...]
#   PRESET: linux-x86_64, raspbian-armv6, raspbian-armv7, windows-x86_64,
#           accelerate-standin, ne10-standin (see CMakePresets.json)
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

emulator=""
case $preset in
    raspbian-armv6 | raspbian-armv7)
        "$root/scripts/install-cross-deps.sh" arm
        emulator="qemu-arm -L /usr/arm-linux-gnueabihf"
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

stage() { echo "== $preset: $*"; }
seconds_since() { echo $(($(date +%s) - $1)); }

stage "configure in $dir"
# shellcheck disable=SC2086
cmake --preset "$preset" -B "$dir" ${TOVAN_CMAKE_ARGS:-} >/dev/null

stage "build"
start=$(date +%s)
cmake --build "$dir" -j "$jobs"
echo "build took $(seconds_since "$start") s"

stage "artifact checks"
lib=$(find "$dir" -maxdepth 1 \( -name 'libtovan-sdk*.so' -o -name 'libtovan-sdk*.dll' \) -print -quit)
[ -n "$lib" ] || { echo "FAIL: no shared deliverable in $dir"; exit 1; }
echo "deliverable: $lib"
# What it links and exports (ELF or DLL); sanitizer runtimes would add
# entries of their own.
if ! grep -q '^TOVAN_SANITIZE:BOOL=ON' "$dir/CMakeCache.txt"; then
    bash "$root/tests/artifacts/check_deliverable.sh" "$lib" "$root/sdk/tovan_sdk.h"
fi
case $preset in
    raspbian-armv6)
        # Our own objects only: ARMv6 with VFPv2, no NEON. The linked .so also
        # carries Debian's armhf toolchain runtime (libgcc helpers, start
        # files), which is built for ARMv7 and cannot be rebuilt here.
        bad=0
        while IFS= read -r obj; do
            attrs=$(readelf -A "$obj")
            arch=$(sed -n 's/.*Tag_CPU_arch: //p' <<< "$attrs")
            fp=$(sed -n 's/.*Tag_FP_arch: //p' <<< "$attrs")
            if [ "$arch" != "v6" ] || { [ -n "$fp" ] && [ "$fp" != "VFPv2" ]; } ||
                grep -q 'Tag_Advanced_SIMD_arch' <<< "$attrs"; then
                echo "FAIL: $obj is $arch / ${fp:-no FP}"
                bad=1
            fi
        done < <(find "$dir/CMakeFiles" -path '*tovan_*_objects.dir*' -name '*.o')
        [ $bad -eq 0 ] || exit 1
        echo "our objects: ARMv6, VFPv2, no NEON"
        ;;
    raspbian-armv7)
        if find "$dir/CMakeFiles" -path '*tovan_dsp_objects.dir/dsp/generic/*' \
            \( -name 'rdft*.o' -o -name 'fft_backend*.o' \) | grep -q .; then
            echo "FAIL: the Ne10 build compiled the portable FFT"
            exit 1
        fi
        if nm "$lib" | grep -qE ' (rdft|_Z4rdft)'; then
            echo "FAIL: $lib carries the portable FFT"
            exit 1
        fi
        readelf -A "$lib" | grep -q 'Tag_Advanced_SIMD_arch: NEON' || { echo "FAIL: no NEON in $lib"; exit 1; }
        echo "no portable FFT object; NEON code present"
        ;;
esac

# Sanitized builds time nothing: their figures would mean little.
if [ "${TOVAN_TIMING:-1}" != "0" ] && ! grep -q '^TOVAN_SANITIZE:BOOL=ON' "$dir/CMakeCache.txt"; then
    stage "front-end timing"
    exe=$dir/tovan_frontend_timing
    [ "$preset" = windows-x86_64 ] && exe=$exe.exe
    # shellcheck disable=SC2086
    $emulator "$exe" "${TOVAN_TIMING_SECONDS:-3}" "${TOVAN_TIMING_RUNS:-3}"
fi

stage "test"
start=$(date +%s)
status=0
ctest --test-dir "$dir" -j "$test_jobs" --output-on-failure --no-tests=error "${ctest_args[@]}" || status=$?
echo "$preset: test run took $(seconds_since "$start") s"
exit $status
