#!/usr/bin/env bash
# Fails when any C++ source differs from what clang-format makes of it
# (.clang-format at the top holds the style).
set -euo pipefail
cd "$(dirname "$0")/.."
find src hvx tests fuzz bench tools \( -name node_modules -prune \) -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror
