#!/usr/bin/env bash
# GENERAL against MACHINE collation: an insert and an update on a code page 1252 table of 1 million
# records (default) with one tag on a character field, in each collation.
# Usage: bench/run_collation_bench.sh [work folder, default /tmp/dorvane-collation-bench] [records] [changes]
# The build folder is $DORVANE_BENCH_BUILD (default build-bench, configured when missing).
set -eu
source "$(dirname "$0")/build_bench.sh" collation_bench
work=${1:-/tmp/dorvane-collation-bench}
records=${2:-1000000}
changes=${3:-200}
rm -rf "$work/run"
"$build/bin/collation_bench" "$work/run" "$records" "$changes"
rm -rf "$work/run"
