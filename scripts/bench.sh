#!/usr/bin/env bash
# Batch benchmark: converts COUNT pictures of 64x128 and COUNT of 64x32 (2,000
# each by default) in one tonepix call, against a floor program that only reads
# each picture and writes a file of its voice file's size; then the same at 0.1x
# and 10x the count. Needs about 7 GB of free disk at the default count.
#   scripts/bench.sh [COUNT] [RUNS]
#   scripts/bench.sh --smoke     # CI: 10 + 10 pictures, one timed call each,
#                                # only to prove that it builds and works
set -euo pipefail
cd "$(dirname "$0")/.."
extra=()
if [ "${1:-}" = --smoke ]; then
  count=10
  runs=1
  extra=(--scales 1)
else
  count="${1:-2000}"
  runs="${2:-5}"
fi
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_TESTS=OFF \
  -DTONEPIX_BUILD_HVX=OFF -DTONEPIX_BUILD_BENCH=ON
cmake --build build-bench -j2 --target tonepix tonepix_io_floor tonepix_batch_bench
exec build-bench/bench/tonepix_batch_bench --tonepix build-bench/tonepix \
  --floor build-bench/bench/tonepix_io_floor --dir build-bench/bench-pictures \
  --count "$count" --runs "$runs" "${extra[@]}"
