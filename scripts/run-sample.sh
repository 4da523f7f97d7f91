#!/usr/bin/env bash
# Builds tonepix and hvx and converts the shipped sample picture,
# samples/pad.bmp, into samples/pad.hvx.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_TESTS=OFF
cmake --build build -j2 --target tonepix hvx
./build/tonepix -v samples/pad.bmp
ls -l samples/pad.hvx
