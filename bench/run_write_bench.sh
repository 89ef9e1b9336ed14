#!/usr/bin/env bash
# Write benchmark: appends, updates, INSERTs and UPDATEs on a table held exclusively and on one shared,
# side by side. With a second binary (write_modes_bench built from another revision), runs both on the
# same machine in one go, that one first, so the two can be compared line by line.
# Usage: bench/run_write_bench.sh [RECORDS, default 10000] [OTHER write_modes_bench]
# The build folder is $DORVANE_BENCH_BUILD (default build-bench, configured when missing).
set -eu
source "$(dirname "$0")/build_bench.sh" write_modes_bench
records=${1:-10000}
other=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "$other" ]; then
  echo "== $other"
  "$other" "$work" "$records"
fi
echo "== this build ($build/bin/write_modes_bench)"
"$build/bin/write_modes_bench" "$work" "$records"
