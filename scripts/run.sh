#!/usr/bin/env bash
# Starts the Kellix window from a build folder. Without a display it says so and shows how to
# render a song from the command line instead.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  song=$(ls songs/*.txt 2>/dev/null | head -n 1 || true)
  echo "run: no display to show the window on; render a song instead:" \
       "$build/app/kellix-render ${song:-SONG.txt} OUT.wav"
  exit 0
fi
exec "$build/app/kellix" "$@"
