#!/usr/bin/env bash
# Builds the Debian package as a Debian package build would: its own build folder (build/deb),
# prefix /usr, Debian's compiler and linker flags (dpkg-buildflags: optimisation and
# hardening), the files stripped. Then checks it with lintian, failing on any error.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

# Every hardening feature, immediate binding included.
export DEB_BUILD_MAINT_OPTIONS=${DEB_BUILD_MAINT_OPTIONS:-hardening=+all}
eval "$(dpkg-buildflags --export=sh)"
cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DKELLIX_TESTS=OFF \
  -DCMAKE_C_FLAGS="$CFLAGS $CPPFLAGS" -DCMAKE_CXX_FLAGS="$CXXFLAGS $CPPFLAGS" \
  -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" -DCMAKE_SHARED_LINKER_FLAGS="$LDFLAGS" \
  -DCMAKE_MODULE_LINKER_FLAGS="$LDFLAGS"
cmake --build build/deb -j"$jobs"
rm -f build/deb/*.deb
(cd build/deb && cpack -G DEB)
lintian --fail-on error build/deb/*.deb
