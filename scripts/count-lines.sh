#!/usr/bin/env bash
# Counts lines that are neither blank nor comments: the program (src/ and
# hvx/, C++ and the studio page's JavaScript) against its tests (tests/, the
# C++ suites and the browser tests), per language and in all, with their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
# Both languages mark comments with // and /* */.
count() {
  local pattern="$1"
  shift
  find "$@" -type f -regextype posix-extended -regex "$pattern" | sort | xargs -r cat | awk '
    /\/\*/ { block = 1 }
    block { if (/\*\//) block = 0; next }
    /^[[:space:]]*$/ || /^[[:space:]]*\/\// { next }
    { n++ }
    END { print n + 0 }'
}
cxx='.*\.(cpp|h)'
js='.*\.js'
program_cxx="$(count "$cxx" src hvx)"
tests_cxx="$(count "$cxx" tests)"
program_js="$(count "$js" hvx/studio/page)"
tests_js="$(count "$js" tests/studio)"
program=$((program_cxx + program_js))
tests=$((tests_cxx + tests_js))
ratio() { awk -v t="$1" -v p="$2" 'BEGIN { printf "%.2f", p ? t / p : 0 }'; }
printf '%-12s %8s %8s %8s\n' "" program tests ratio
printf '%-12s %8d %8d %8s\n' "C++" "$program_cxx" "$tests_cxx" "$(ratio "$tests_cxx" "$program_cxx")"
printf '%-12s %8d %8d %8s\n' "JavaScript" "$program_js" "$tests_js" "$(ratio "$tests_js" "$program_js")"
printf '%-12s %8d %8d %8s\n' "all" "$program" "$tests" "$(ratio "$tests" "$program")"
