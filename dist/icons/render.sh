#!/bin/sh
# Renders the hicolor PNG icons from vantoria.svg (run after changing the drawing; the PNGs are
# kept in the tree so that a build needs no SVG renderer). Needs rsvg-convert (librsvg2-bin).
set -e
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "$size"
  rsvg-convert -w "$size" -h "$size" vantoria.svg -o "$size/vantoria.png"
done
