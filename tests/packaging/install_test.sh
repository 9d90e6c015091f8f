#!/usr/bin/env bash
# Installs this build into a temporary folder (DESTDIR, prefix /usr) and checks the installed
# tree as a user and the desktop see it:
# - every file in its place, the programs' RPATH relative to their own folder;
# - the installed kellix-render, run from another folder with an empty environment, renders the
#   installed example songs to the same bytes as the build folder's program, and finds the sound
#   device module;
# - both programs show the project's version;
# - the desktop entry and the AppStream metainfo validate, both man pages format without a
#   warning;
# - uninstalling removes every installed file and Kellix's own folders.
# The environment comes from tests/packaging/CMakeLists.txt.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

"$KELLIX_SOURCE_DIR/scripts/install-deps.sh" desktop-file-utils appstream man-db

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stage=$tmp/stage
usr=$stage/usr
manifest=$KELLIX_BUILD_DIR/install_manifest.txt
DESTDIR=$stage cmake --install "$KELLIX_BUILD_DIR" --prefix /usr >"$tmp/install.log" ||
  { cat "$tmp/install.log"; fail "cmake --install"; }

libdir=$usr/$KELLIX_LIBDIR/kellix
programs=(kellix-render)
[ "$KELLIX_WINDOW" = 1 ] && programs+=(kellix)
expected=(
  "$libdir/libmorvane.so" "$libdir/kellix-play.so"
  "$usr/share/applications/kellix.desktop" "$usr/share/metainfo/org.kellix.Kellix.metainfo.xml"
  "$usr/share/icons/hicolor/scalable/apps/kellix.svg"
  "$usr/share/icons/hicolor/48x48/apps/kellix.png" "$usr/share/icons/hicolor/128x128/apps/kellix.png"
  "$usr/share/man/man1/kellix.1.gz" "$usr/share/man/man1/kellix-render.1.gz"
  "$usr/share/doc/kellix/README.md" "$usr/share/doc/kellix/generator.md"
  "$usr/share/doc/kellix/instruments.md" "$usr/share/doc/kellix/copyright"
  "$usr/share/doc/kellix/changelog.gz"
)
for song in "$KELLIX_SOURCE_DIR"/songs/*.txt; do
  expected+=("$usr/share/kellix/songs/$(basename "$song")")
done
for instrument in "$KELLIX_SOURCE_DIR"/instruments/*.txt; do
  expected+=("$usr/share/kellix/instruments/$(basename "$instrument")")
done
for program in "${programs[@]}"; do
  expected+=("$usr/bin/$program")
done
for file in "${expected[@]}"; do
  [ -f "$file" ] || fail "not installed: ${file#"$stage"}"
done
# Only the build folder's programs may reach into the build folder.
for program in "${programs[@]}"; do
  runpath=$(readelf -d "$usr/bin/$program" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [ "$runpath" = "\$ORIGIN/../$KELLIX_LIBDIR/kellix" ] || fail "$program: RUNPATH '$runpath'"
done
for module in "$libdir"/*.so; do
  ! readelf -d "$module" | grep -q 'R\(UN\)\?PATH' || fail "$(basename "$module") has an RPATH"
done

# The versions, from an empty environment.
mkdir "$tmp/elsewhere"
cd "$tmp/elsewhere"
for program in "${programs[@]}"; do
  shown=$(env -i "$usr/bin/$program" --version)
  [ "$shown" = "$program $KELLIX_VERSION" ] || fail "$program --version: '$shown'"
done

# Every example song, rendered by both programs.
for path in "$KELLIX_SOURCE_DIR"/songs/*.txt; do
  song=$(basename "$path")
  env -i "$usr/bin/kellix-render" --quiet "$usr/share/kellix/songs/$song" installed.wav ||
    fail "the installed kellix-render did not render $song"
  "$KELLIX_RENDER" --quiet "$path" "$tmp/built.wav"
  cmp installed.wav "$tmp/built.wav" || fail "the installed and the built program render $song differently"
done

# The sound device module is found in the library folder: without a usable driver it is the
# module that reports the device's failure.
printf ' Const\r\n  Track:TTrack=(\r\n   TrackIndexCount: 0;\r\n   TrackCount: 0;\r\n   PatternCount: 0;\r\n   InstrumentCount: 0;\r\n   Speed: 100;\r\n   Row: 8;\r\n  );\r\n' >empty.txt
status=0
env -i SDL_AUDIODRIVER=no-such-driver "$usr/bin/kellix-render" --play empty.txt 2>play.err ||
  status=$?
[ "$status" = 1 ] && grep -q '^Error!: Failed to create IDirectSound object$' play.err ||
  fail "kellix-render --play (status $status): $(cat play.err)"

desktop-file-validate "$usr/share/applications/kellix.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$usr/share/metainfo/org.kellix.Kellix.metainfo.xml" >"$tmp/as.log" ||
  { cat "$tmp/as.log"; fail "appstreamcli validate"; }
for page in kellix kellix-render; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$usr/share/man/man1/$page.1.gz" \
    >"$tmp/$page.txt" 2>"$tmp/$page.err" || fail "man $page: $(cat "$tmp/$page.err")"
  [ ! -s "$tmp/$page.err" ] || fail "man $page warns: $(cat "$tmp/$page.err")"
  grep -q "Kellix $KELLIX_VERSION" "$tmp/$page.txt" || fail "man $page does not show the version"
done

# Uninstalled: no file left, none of Kellix's own folders either.
DESTDIR=$stage cmake -DMANIFEST="$manifest" -P "$KELLIX_SOURCE_DIR/packaging/uninstall.cmake" >"$tmp/uninstall.log" ||
  { cat "$tmp/uninstall.log"; fail "uninstall"; }
left=$(find "$stage" ! -type d -o -name kellix)
[ -z "$left" ] || fail "left after uninstalling: $left"
echo "installed, rendered, validated and uninstalled"
