#!/usr/bin/env bash
# Builds tonepix with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh gtest pictures browser
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_WERROR=ON
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j2
