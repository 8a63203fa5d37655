#!/bin/sh
# Builds the libFuzzer targets (fuzz/fuzz_*.cpp) with clang into build-fuzz (or $BUILD_DIR) and
# runs each for $FUZZ_SECONDS seconds (default 60) on its seed corpus, fuzz/corpus/<target>.
# What the runs find is kept in $BUILD_DIR/corpus/<target>, never among the committed seeds.
# A crash, a leak, a slow input or a memory blow-up fails the script; the input that did it is
# saved as $BUILD_DIR/<target>-crash-... (and the like) to replay: $BUILD_DIR/fuzz/<target> FILE.
set -e
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build-fuzz}"
SECONDS_EACH="${FUZZ_SECONDS:-60}"

targets=""
for src in "$ROOT"/fuzz/fuzz_*.cpp; do
  targets="$targets $(basename "$src" .cpp)"
done

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTORIA_FUZZ=ON -DVANTORIA_TESTS=OFF -DVANTORIA_BENCH=OFF "$@" >/dev/null
# shellcheck disable=SC2086
cmake --build "$BUILD_DIR" -j "$(nproc)" --target $targets

failed=""
for name in $targets; do
  work="$BUILD_DIR/corpus/$name"
  mkdir -p "$work"
  echo "== $name: ${SECONDS_EACH} s"
  if ! "$BUILD_DIR/fuzz/$name" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=3072 \
      -print_final_stats=1 -artifact_prefix="$BUILD_DIR/$name-" "$work" "$ROOT/fuzz/corpus/$name"; then
    failed="$failed $name"
  fi
done
if [ -n "$failed" ]; then
  echo "fuzzing failed:$failed" >&2
  exit 1
fi
