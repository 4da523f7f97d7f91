#!/usr/bin/env bash
# Batch benchmark: COUNT pictures of 64x128 in one tonepix call, then COUNT of
# 64x32, against the safe I/O floor (read each picture, write a file of its
# voice's size to a temporary name, rename it into place) and the plain floor
# (write in place); the same at 0.1x and 10x the count. Runs in memory
# (/dev/shm) and in the repository's own folder (build-bench/), in that order.
#   scripts/bench.sh [COUNT] [RUNS]     # default 2000 pictures, 7 timed calls
#   scripts/bench.sh --smoke            # CI: a few pictures, one timed call,
#                                       # only to prove that it builds and works
# The 10x step writes 20,000 voice files of up to 131 KB: about 2.7 GB in
# memory and on disk.
set -euo pipefail
cd "$(dirname "$0")/.."
scales=0.1,1,10
if [ "${1:-}" = --smoke ]; then
  count=10
  runs=1
  scales=1
else
  count="${1:-2000}"
  runs="${2:-7}"
fi
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_TESTS=OFF \
  -DTONEPIX_BUILD_HVX=OFF -DTONEPIX_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j2 --target tonepix tonepix_io_floor tonepix_batch_bench >/dev/null
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(uname -sr)"
folders=("$PWD/build-bench/bench-pictures")
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  folders=("/dev/shm/tonepix-bench-$$" "${folders[@]}")
fi
for folder in "${folders[@]}"; do
  echo
  build-bench/bench/tonepix_batch_bench --tonepix build-bench/tonepix \
    --floor build-bench/bench/tonepix_io_floor --dir "$folder" \
    --count "$count" --runs "$runs" --scales "$scales"
  case "$folder" in /dev/shm/*) rm -rf "$folder" ;; esac
done
