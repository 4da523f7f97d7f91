#!/usr/bin/env bash
# Counts C++ lines that are neither blank nor comments: the program (src/ and
# hvx/) against its C++ tests (tests/), and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  find "$@" -name '*.cpp' -o -name '*.h' | sort | xargs cat | awk '
    /\/\*/ { block = 1 }
    block { if (/\*\//) block = 0; next }
    /^[[:space:]]*$/ || /^[[:space:]]*\/\// { next }
    { n++ }
    END { print n + 0 }'
}
program="$(count src hvx)"
tests="$(count tests)"
echo "program (src/ + hvx/): $program lines"
echo "C++ tests (tests/):    $tests lines"
awk -v t="$tests" -v p="$program" 'BEGIN { printf "tests / program:       %.2f\n", t / p }'
