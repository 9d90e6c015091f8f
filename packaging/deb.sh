#!/usr/bin/env bash
# Builds the Debian package as a Debian package build would: its own build folder (build/deb),
# prefix /usr, Debian's compiler and linker flags (dpkg-buildflags: optimisation and
# hardening), the files stripped. Then checks it with lintian, failing on any error, and that it
# holds every file an install puts in place.
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
deb=$(ls build/deb/*.deb)
lintian --fail-on error "$deb"

listed=$(dpkg-deb --contents "$deb" | awk '{print $6}')
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' build/deb/CMakeCache.txt)
expected=(
  usr/bin/kellix usr/bin/kellix-render
  "usr/$libdir/kellix/libmorvane.so" "usr/$libdir/kellix/kellix-play.so"
  usr/share/applications/kellix.desktop usr/share/metainfo/org.kellix.Kellix.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/kellix.svg usr/share/icons/hicolor/48x48/apps/kellix.png
  usr/share/icons/hicolor/128x128/apps/kellix.png
  usr/share/man/man1/kellix.1.gz usr/share/man/man1/kellix-render.1.gz
  usr/share/doc/kellix/copyright usr/share/doc/kellix/changelog.gz usr/share/doc/kellix/README.md
)
for file in songs/*.txt instruments/*.txt; do
  expected+=("usr/share/kellix/$file")
done
for file in docs/*.md; do
  expected+=("usr/share/doc/kellix/$(basename "$file")")
done
for file in "${expected[@]}"; do
  grep -qxF "./$file" <<<"$listed" || { echo "deb: $deb lacks /$file" >&2; exit 1; }
done
echo "deb: $deb ($(stat -c %s "$deb") bytes, ${#expected[@]} files checked)"
