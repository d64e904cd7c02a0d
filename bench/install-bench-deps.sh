#!/usr/bin/env bash
# Installs what the benchmarks need beyond the build's own packages: Google
# Benchmark, and FFTW, the yardstick that tovan_receive_timing times the real
# FFT against (the benchmarks build without FFTW, minus those rows; the
# library never links it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec "$root/scripts/install-deps.sh" libbenchmark-dev libfftw3-dev
