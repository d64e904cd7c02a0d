#!/usr/bin/env bash
# Runs the end-to-end and interface tests, and the fuzz corpora, under
# valgrind's memcheck: a plain build (no sanitizers, which valgrind cannot sit
# beside) in a fresh directory, every program at once, each failing on any
# memcheck error or on a definite or indirect leak of the C heap. The tracked
# heap's own leak result is checked by the tests themselves.
#
# Left out: the allocation-failure sweep (tens of thousands of scenario runs,
# minutes under valgrind), which runs under AddressSanitizer in the sanitizer
# build instead.
#
# Usage: scripts/valgrind-e2e.sh
# Environment:
#   TOVAN_VALGRIND_DIR  build directory (default build-valgrind; emptied first)
#   JOBS                compile jobs (default 4)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
dir=${TOVAN_VALGRIND_DIR:-$root/build-valgrind}
jobs=${JOBS:-4}

bash "$root/scripts/install-fuzz-deps.sh" valgrind

echo "== valgrind: configure and build in $dir"
rm -rf "$dir"
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVAN_WERROR=ON > /dev/null
programs=(test_e2e test_sdk fuzz_replay_config fuzz_replay_decode fuzz_replay_audio fuzz_replay_calls)
start=$SECONDS
cmake --build "$dir" -j "$jobs" --target "${programs[@]}" > "$dir/build.log" 2>&1 ||
    { tail -n 60 "$dir/build.log"; exit 1; }
echo "built in $((SECONDS - start)) s"

memcheck=(valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --show-leak-kinds=definite,indirect
          --errors-for-leak-kinds=definite,indirect --num-callers=30 --quiet)

# Where each program lives, and what it runs.
path_of() {
    case $1 in
        test_*) echo "$dir/tests/$1" ;;
        *) echo "$dir/tests/fuzz/$1" ;;
    esac
}
args_of() {
    case $1 in
        test_e2e) echo "--gtest_filter=-*AllocationSweep*" ;;
        *) echo "" ;;
    esac
}

echo "== valgrind: memcheck ${programs[*]}"
start=$SECONDS
pids=()
for p in "${programs[@]}"; do
    # shellcheck disable=SC2046
    "${memcheck[@]}" --log-file="$dir/$p.memcheck" "$(path_of "$p")" $(args_of "$p") > "$dir/$p.out" 2>&1 &
    pids+=("$!")
done

failed=()
for i in "${!programs[@]}"; do
    p=${programs[$i]}
    if wait "${pids[$i]}"; then
        summary=$(grep -E '^\[  PASSED  \]|^replayed' "$dir/$p.out" | tail -n 1)
        echo "$p: clean (${summary:-no summary})"
    else
        failed+=("$p")
        echo "$p: FAILED"
        tail -n 40 "$dir/$p.out"
        cat "$dir/$p.memcheck"
    fi
done
echo "memcheck took $((SECONDS - start)) s"

if [ ${#failed[@]} -gt 0 ]; then
    echo "valgrind failed: ${failed[*]}"
    exit 1
fi
echo "valgrind passed: ${programs[*]}"
