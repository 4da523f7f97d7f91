#!/usr/bin/env bash
# Installs the build and test tools tonepix needs, only when they are missing.
set -euo pipefail

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v g++ >/dev/null 2>&1 || need+=(g++)
for extra in "$@"; do
  case "$extra" in
    gtest) [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev) ;;
    clang) command -v clang++ >/dev/null 2>&1 || need+=(clang)
           ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
             || need+=(libclang-rt-14-dev) ;;
  esac
done

if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${need[@]}"
fi
