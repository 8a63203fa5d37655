#!/bin/sh
# Installs what is missing, builds, generates the sample map data and starts Vantoria on it.
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup-deps.sh"
"$ROOT/scripts/build.sh"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
if [ -x "$BUILD_DIR/src/app/vantoria" ]; then
  # The sample trek files follow the map index, so waypoints and tracks show at once.
  for f in "$BUILD_DIR"/sample/treks/*.pmd "$BUILD_DIR"/sample/treks/*.ptd; do
    if [ -f "$f" ]; then set -- "$@" "$f"; fi
  done
  exec "$BUILD_DIR/src/app/vantoria" "$BUILD_DIR/sample/map25000/index.csv" "$@"
fi
exec "$BUILD_DIR/cli/vantoria-cli" catalogue "$BUILD_DIR/sample/map25000/index.csv"
