#!/usr/bin/env bash
# Renders the committed PNG icons from kellix.svg; run it after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")"
../scripts/install-deps.sh librsvg2-bin
for size in 48 128; do
  rsvg-convert -w "$size" -h "$size" kellix.svg -o "kellix-$size.png"
done
