#!/usr/bin/env bash
# Starts the Kellix window from a build folder (first argument; the rest go to Kellix, e.g. a
# song to open). Without a display it says so and shows how to render a song from the command
# line instead. Without any sound device or sound server it runs Kellix silently on SDL's dummy
# driver rather than stopping at the sound device error.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
[ $# -gt 0 ] && shift
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  song=$(ls songs/*.txt 2>/dev/null | head -n 1 || true)
  echo "run: no display to show the window on; render a song instead:" \
       "$build/app/kellix-render ${song:-SONG.txt} OUT.wav"
  exit 0
fi
if [ -z "${SDL_AUDIODRIVER:-}" ]; then
  runtime=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}
  if ! compgen -G '/dev/snd/pcmC*p' >/dev/null && [ ! -S "$runtime/pulse/native" ] &&
     [ ! -S "$runtime/pipewire-0" ] && [ -z "${PULSE_SERVER:-}" ]; then
    echo "run: no sound device found; Kellix plays silently (SDL_AUDIODRIVER=dummy)." \
         "File > Save result as.. writes the song as a WAV file."
    export SDL_AUDIODRIVER=dummy
  fi
fi
exec "$build/app/kellix" "$@"
