#!/usr/bin/env bash
# Renders the PNG icons from their SVG drawings; run after changing an SVG
# and commit both. scripts/package-check.sh fails when they differ.
#   data/icons/render.sh [OUTDIR]      (default data/icons/png)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:-$here/png}"
mkdir -p "$out"
render() { rsvg-convert -w "$2" -h "$2" "$here/$1.svg" -o "$out/$3-$2.png"; }
# The application icon; the small sizes have their own, simpler drawing.
for s in 16 24; do render quorvel-small "$s" quorvel; done
for s in 32 48 64 128 256; do render quorvel "$s" quorvel; done
# The toolbar's "load model" button, at 1x and 2x.
render load-model 16 load-model
render load-model 32 load-model
