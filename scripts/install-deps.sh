#!/usr/bin/env bash
# Installs the build and test tools tonepix needs, only when they are missing.
set -euo pipefail

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v pkg-config >/dev/null 2>&1 || need+=(pkg-config)
command -v clang-format >/dev/null 2>&1 || need+=(clang-format)
# hvx, the companion tool, builds with Debian's packaged libraries.
[ -f /usr/include/stb/stb_image.h ] || need+=(libstb-dev)
[ -f /usr/include/CLI/CLI.hpp ] || need+=(libcli11-dev)
[ -f /usr/include/nlohmann/json.hpp ] || need+=(nlohmann-json3-dev)
[ -f /usr/include/boost/beast.hpp ] || need+=(libboost-dev)
[ -f /usr/include/sndfile.h ] || need+=(libsndfile1-dev)
[ -f /usr/include/kissfft/kiss_fftr.h ] || need+=(libkissfft-dev)
[ -f /usr/include/libexif/exif-data.h ] || need+=(libexif-dev)
[ -f /usr/include/zlib.h ] || need+=(zlib1g-dev)
# The test run renders the manual pages.
command -v man >/dev/null 2>&1 || need+=(man-db)
command -v groff >/dev/null 2>&1 || need+=(groff-base)
for extra in "$@"; do
  case "$extra" in
    gtest) [ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev) ;;
    clang) command -v clang++ >/dev/null 2>&1 || need+=(clang)
           ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 \
             || need+=(libclang-rt-14-dev) ;;
    # The picture-format test makes its pictures with ImageMagick.
    pictures) command -v convert >/dev/null 2>&1 && convert -version 2>/dev/null | grep -q ImageMagick \
                || need+=(imagemagick) ;;
    browser) ;;  # below: the studio's browser test may do without it
    # The Debian package: dpkg-shlibdeps computes its dependencies; its check
    # runs lintian and asks the installed studio for its page.
    package) command -v dpkg-shlibdeps >/dev/null 2>&1 || need+=(dpkg-dev) ;;
    package-check) command -v lintian >/dev/null 2>&1 || need+=(lintian)
                   command -v curl >/dev/null 2>&1 || need+=(curl) ;;
  esac
done

if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -o DPkg::Lock::Timeout=300 --no-install-recommends "${need[@]}"
fi

# The studio's browser test drives Debian's Chromium from Node. Without them
# that one test is skipped, so a failed install is a warning, not an error.
for extra in "$@"; do
  [ "$extra" = browser ] || continue
  browser=()
  [ -x /usr/bin/chromium ] || browser+=(chromium)
  command -v node >/dev/null 2>&1 || browser+=(nodejs)
  command -v npm >/dev/null 2>&1 || browser+=(npm)
  # An instrument's note for the studio to analyse, rendered as a player would.
  command -v fluidsynth >/dev/null 2>&1 || browser+=(fluidsynth)
  [ -f /usr/share/sounds/sf2/TimGM6mb.sf2 ] || browser+=(timgm6mb-soundfont)
  if [ ${#browser[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    { $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -o DPkg::Lock::Timeout=300 --no-install-recommends \
        "${browser[@]}"; } || echo "install-deps: could not install ${browser[*]}; the studio browser test will be skipped" >&2
  fi
done
