#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz) with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in a fresh directory, then runs every target for
# a bounded time on top of its checked-in corpus, the targets side by side.
# A crash, a sanitizer report, a broken check of a target (a leak reported by
# del_tovan_sdk among them) or an input that runs past the timeout fails the
# run; the input that did it is left in the work directory, and the closing
# lines say how to keep it as a regression input.
#
# Usage: scripts/run-fuzzers.sh [SECONDS_PER_TARGET]     (default 30)
# Environment:
#   TOVAN_FUZZ_DIR      build directory (default build-fuzz; emptied first)
#   TOVAN_FUZZ_TARGETS  targets to run (default "config decode audio calls")
#   TOVAN_FUZZ_TIMEOUT  seconds one input may take before it counts as a hang (default 25)
#   JOBS                compile jobs and targets run at once (default 4)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-30}
dir=${TOVAN_FUZZ_DIR:-$root/build-fuzz}
targets=(${TOVAN_FUZZ_TARGETS:-config decode audio calls})
timeout=${TOVAN_FUZZ_TIMEOUT:-25}
jobs=${JOBS:-4}

bash "$root/scripts/install-fuzz-deps.sh" fuzz

# The newest clang that has libFuzzer and std::source_location.
cc=""
cxx=""
for v in 19 18 17 16 15; do
    if command -v "clang++-$v" > /dev/null && ls /usr/lib/llvm-$v/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a \
        > /dev/null 2>&1; then
        cc=clang-$v
        cxx=clang++-$v
        break
    fi
done
[ -n "$cxx" ] || { echo "run-fuzzers: no clang 15 or later with libFuzzer" >&2; exit 1; }

echo "== fuzzers: configure in $dir with $cxx"
rm -rf "$dir"
mkdir -p "$dir"
cmake -S "$root" -B "$dir" -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTOVAN_SANITIZE=ON -DTOVAN_BUILD_FUZZERS=ON -DTOVAN_WERROR=ON > "$dir/configure.log" 2>&1 ||
    { cat "$dir/configure.log"; exit 1; }

echo "== fuzzers: build ${targets[*]}"
start=$SECONDS
cmake --build "$dir" -j "$jobs" --target "${targets[@]/#/fuzz_}" > "$dir/build.log" 2>&1 ||
    { tail -n 60 "$dir/build.log"; exit 1; }
echo "built in $((SECONDS - start)) s"

# The symbolizer of the same release reads the compiler's debug information.
symbolizer=/usr/lib/llvm-${cxx#clang++-}/bin/llvm-symbolizer
[ -x "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# One target: new inputs go to its work corpus (the checked-in one is only
# read), anything that breaks to its artifacts folder.
run_target() {
    local t=$1
    local work=$dir/fuzz-work/$t
    mkdir -p "$work/corpus" "$work/artifacts"
    "$dir/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2560 -max_len=4096 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/tests/fuzz/corpus/$t" \
        > "$work/log" 2>&1
}

echo "== fuzzers: run each for $seconds s on top of its corpus"
start=$SECONDS
pids=()
for t in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        sleep 1
    done
    run_target "$t" &
    pids+=("$!")
done

failed=()
for i in "${!targets[@]}"; do
    t=${targets[$i]}
    if wait "${pids[$i]}"; then
        runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$dir/fuzz-work/$t/log" | grep -o '[0-9]*$' || true)
        cov=$(grep -o 'cov: [0-9]*' "$dir/fuzz-work/$t/log" | tail -n 1 || true)
        echo "fuzz_$t: passed, ${runs:-?} inputs, $cov, $(find "$dir/fuzz-work/$t/corpus" -type f | wc -l) new corpus entries"
    else
        failed+=("$t")
        echo "fuzz_$t: FAILED"
        grep -v '^#' "$dir/fuzz-work/$t/log" | tail -n 60
    fi
done
echo "fuzzing took $((SECONDS - start)) s"

if [ ${#failed[@]} -gt 0 ]; then
    echo
    for t in "${failed[@]}"; do
        for a in "$dir/fuzz-work/$t/artifacts"/*; do
            [ -e "$a" ] || continue
            echo "fuzz_$t input: $a"
            echo "  keep it as a regression input: cp '$a' tests/fuzz/corpus/$t/crash_$(basename "$a" | cut -d- -f2 | cut -c1-12)"
        done
    done
    echo "fuzzers failed: ${failed[*]}"
    exit 1
fi
echo "fuzzers passed: ${targets[*]}"
