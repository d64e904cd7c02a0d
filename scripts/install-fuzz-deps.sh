#!/usr/bin/env bash
# Installs the Debian packages that the fuzzers and the memcheck run need, and
# only those that are missing: a clang with libFuzzer whose C++20 library
# support covers std::source_location (clang 15 or later; Debian 12's clang 14
# cannot compile the tracked heap's wrappers against GCC 12's library), and
# valgrind. llvm-16 brings the symbolizer that reads clang 16's debug
# information, for readable stacks in fuzzer reports. apt-get runs at most once (update, then install).
#   install-fuzz-deps.sh [fuzz|valgrind|all]   (default all)
set -euo pipefail

what=${1:-all}
packages=()
case $what in
    fuzz) packages=(clang-16 libclang-rt-16-dev llvm-16) ;;
    valgrind) packages=(valgrind) ;;
    all) packages=(clang-16 libclang-rt-16-dev llvm-16 valgrind) ;;
    *) echo "usage: install-fuzz-deps.sh [fuzz|valgrind|all]" >&2; exit 2 ;;
esac

exec bash "$(dirname "$0")/install-deps.sh" "${packages[@]}"
