#!/usr/bin/env bash
# Hostile-input checks: the whole test suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a while from the
# committed seed corpus. Fails on any sanitizer report or fuzzer finding.
#   FUZZ_SECONDS=300 scripts/ci-hardening.sh   # longer fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh gtest clang pictures browser

fuzz_seconds="${FUZZ_SECONDS:-20}"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The studio stops at once; a sanitized one then scans for leaks as it exits.
export STUDIO_STOP_BOUND_MS=30000
# Renders, fifty previews at once in the clients test, run several times slower.
export STUDIO_ANSWER_BOUND_MS=30000

echo "== test suite under ASan+UBSan"
# The program's own compiler, so that -Werror sees the same warnings as the
# normal build.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONEPIX_SANITIZE=ON \
  -DTONEPIX_WERROR=ON -DTONEPIX_BUILD_BENCH=OFF
cmake --build build-asan -j2
ctest --test-dir build-asan --output-on-failure -j2

echo "== fuzz targets, ${fuzz_seconds} s each"
# Leaks inside the system's audio libraries are theirs, not findings.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan-suppressions.txt"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DTONEPIX_SANITIZE=ON -DTONEPIX_FUZZ=ON \
  -DTONEPIX_BUILD_TESTS=OFF -DTONEPIX_BUILD_BENCH=OFF
cmake --build build-fuzz -j2 --target fuzz_convert fuzz_parse_options fuzz_prepare fuzz_read_voice \
  fuzz_analyze fuzz_studio_request fuzz_voice_edit
for target in convert parse_options prepare read_voice analyze studio_request voice_edit; do
  seeds="fuzz/corpus/${target#parse_}"
  work="build-fuzz/ci/${target}"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  # New inputs go to the scratch corpus; the committed seeds stay untouched.
  if ! "build-fuzz/fuzz/fuzz_${target}" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" >"$work/log" 2>&1; then
    tail -n 60 "$work/log"
    echo "fuzz_${target}: finding saved in $work/artifacts/" >&2
    exit 1
  fi
  grep -E '^(Done|stat::number_of_executed_units)' "$work/log" || true
done
echo "== hardening checks passed"
