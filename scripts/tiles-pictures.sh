#!/bin/sh
# Pictures of the tile export for the documentation: the sample collection exported by
# vantoria-cli as MBTiles at one zoom level with every overlay, read back by the reader of
# another make (tests/tiles/mbtiles_reader.py: sqlite3 and Pillow only) and laid side by side
# (docs/tiles-mbtiles-mosaic.png), and a custom map's JPEG images laid side by side by the
# LatLonBoxes of its doc.kml (docs/tiles-kmz-side-by-side.png).
# Usage: scripts/tiles-pictures.sh [BUILD_DIR] [ZOOM]
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build}"
ZOOM="${2:-13}"
CLI="$BUILD/cli/vantoria-cli"
SAMPLE="$BUILD/sample"
READER="$ROOT/tests/tiles/mbtiles_reader.py"
PY=""
for p in python3 /usr/bin/python3 python; do
  if "$p" -c "import sqlite3, PIL.Image" 2>/dev/null; then PY="$p"; break; fi
done
[ -n "$PY" ] || { echo "no Python 3 with Pillow (Debian: python3-pil)" >&2; exit 1; }
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

"$CLI" tiles "$SAMPLE/collection" --all --format mbtiles --zoom "$ZOOM" --png \
  --trek "$SAMPLE/treks/tracks.ptd" --trek "$SAMPLE/treks/peaks.pmd" --options 127 -o "$WORK/sample.mbtiles"
"$PY" "$READER" check "$WORK/sample.mbtiles" --zoom "$ZOOM-$ZOOM"
"$PY" "$READER" mosaic "$WORK/sample.mbtiles" "$ZOOM" "$ROOT/docs/tiles-mbtiles-mosaic.png" --max-width 1400

"$CLI" tiles "$SAMPLE/collection" --all --format kmz --pixel-metres 16 \
  --trek "$SAMPLE/treks/tracks.ptd" --trek "$SAMPLE/treks/peaks.pmd" --options 127 -o "$WORK/sample.kmz"
"$PY" "$READER" kmz "$WORK/sample.kmz" "$ROOT/docs/tiles-kmz-side-by-side.png" --max-width 1400
