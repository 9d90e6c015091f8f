#!/usr/bin/env bash
# Starts Kellix from a build folder: the window when it is built, otherwise the command-line
# renderer on the first example song.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ -x "$build/app/kellix" ]; then
  exec "$build/app/kellix"
fi
if [ -x "$build/app/kellix-render" ]; then
  song=$(ls songs/*.txt 2>/dev/null | head -n 1 || true)
  if [ -n "$song" ]; then
    mkdir -p build/songs
    exec "$build/app/kellix-render" "$song" "build/songs/$(basename "${song%.*}").wav"
  fi
  exec "$build/app/kellix-render" --help
fi
newest=$(ls -t "$build"/app/* 2>/dev/null | while read -r f; do [ -x "$f" ] && [ -f "$f" ] && echo "$f"; done | head -n 1)
if [ -n "$newest" ]; then
  exec "$newest"
fi
echo "run: no program has been built yet" >&2
exit 1
