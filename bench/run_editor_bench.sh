#!/usr/bin/env bash
# The table editor on tables of 10 thousand and 1 million records, in one run: Next to grid shown, one
# cell commit with its reload, the jump to the last row, one column added, and peak memory.
# Usage: bench/run_editor_bench.sh  (release build with the windows in $DORVANE_EDITOR_BENCH_BUILD,
# default build-bench-editor)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DORVANE_EDITOR_BENCH_BUILD:-$root/build-bench-editor}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_TESTS=OFF \
    -DDORVANE_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 editor_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 10000 1000000; do
  "$build/bin/editor_bench" make "$work/people.dbf" "$n"
  QT_QPA_PLATFORM=offscreen "$build/bin/editor_bench" run "$work" people
  rm -f "$work"/people.*
done
