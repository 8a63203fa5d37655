#!/bin/sh
# Configures and builds into build/ (or $BUILD_DIR) with Ninja. Extra arguments go to CMake.
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
# Compiler cache hits across checkouts and build folders of the same depth.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$ROOT}"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
