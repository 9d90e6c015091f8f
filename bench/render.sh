#!/usr/bin/env bash
# Whole-process render time of bench/data/song32.txt with the release build: a 61-second song
# with 32 voices sounding throughout (eight instruments at tones 5 to 43, mono and stereo in
# turn, each sample lasting one play-list entry at its tone, with attack and release).
# The WAV file goes to memory (/dev/shm) where there is one, so that the figure is the
# program's own and not the disk's. Uses hyperfine when installed, else the best of 20 runs.
#
#   bench/render.sh [build/release/app/kellix-render]
set -euo pipefail
cd "$(dirname "$0")/.."
render=${1:-build/release/app/kellix-render}
song=bench/data/song32.txt
dir=$( [ -d /dev/shm ] && [ -w /dev/shm ] && mktemp -d /dev/shm/kellix-render.XXXXXX || mktemp -d )
trap 'rm -rf "$dir"' EXIT
out="$dir/song32.wav"
seconds=60.93 # 41 entries of 65536 frames

if command -v hyperfine >/dev/null 2>&1; then
  hyperfine -N --warmup 3 --runs 40 --export-json "$dir/times.json" \
    "$render $song $out --quiet"
  python3 - "$dir/times.json" "$seconds" <<'PY'
import json, statistics, sys
times = json.load(open(sys.argv[1]))["results"][0]["times"]
audio = float(sys.argv[2])
print("times real time: best %.0fx, median %.0fx" % (audio / min(times), audio / statistics.median(times)))
PY
else
  best=
  for _ in $(seq 20); do
    start=$(date +%s.%N)
    "$render" "$song" "$out" --quiet
    took=$(echo "$(date +%s.%N) - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
  done
  echo "best of 20: ${best} s, $(echo "$seconds / $best" | bc -l | cut -d. -f1)x real time"
fi
