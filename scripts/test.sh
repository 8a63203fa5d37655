#!/bin/sh
# Installs what is missing, builds everything and runs the whole test suite.
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/setup-deps.sh"
"$ROOT/scripts/build.sh" "$@"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(nproc)" --timeout 600
