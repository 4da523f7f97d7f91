#!/usr/bin/env bash
# Builds the Debian package of tonepix and hvx (a Release build without the
# tests, in build-package/) and prints its path on standard output (the
# build's messages go to standard error):
#   scripts/package.sh
#   sudo apt-get install ./build-package/tonepix_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package >&2

# Debian's hardening flags, as its own packages are built with; no debugging
# information, since the programs are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags="${cxxflags//-g /}"
ldflags="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEPIX_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >&2
cmake --build build-package -j2 >&2
rm -f build-package/tonepix_*.deb
(cd build-package && cpack -G DEB >&2)
ls build-package/tonepix_*.deb
