#!/usr/bin/env bash
# The table editor on tables of 10 thousand and 1 million records, in one run: Next to grid shown, one
# cell commit with its reload, the jump to the last row, one column added, and peak memory.
# Usage: bench/run_editor_bench.sh  (release build with the windows in $DORVANE_BENCH_GUI_BUILD,
# default build-bench-gui)
set -eu
bench_windows=1
source "$(dirname "$0")/build_bench.sh" editor_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 10000 1000000; do
  "$build/bin/editor_bench" make "$work/people.dbf" "$n"
  QT_QPA_PLATFORM=offscreen "$build/bin/editor_bench" run "$work" people
  rm -f "$work"/people.*
done
