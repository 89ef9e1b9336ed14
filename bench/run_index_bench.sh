#!/usr/bin/env bash
# Index maintenance benchmark: a table of 1 million records (default) with three tags; an insert and a
# one-field update with and without the index, and building the tags against reading the table.
# Runs twice: as is (every index change is flushed to disk, as the index layer does), and with fsync
# turned into a no-op (the work of keeping the tags, without the disk flushes).
# Usage: bench/run_index_bench.sh [work folder, default /tmp/dorvane-index-bench] [records] [changes]
# The build folder is $DORVANE_BENCH_BUILD (default build-bench, configured when missing); index_bench is
# built there.
set -eu
source "$(dirname "$0")/build_bench.sh" index_bench
work=${1:-/tmp/dorvane-index-bench}
records=${2:-1000000}
changes=${3:-200}
bench=$build/bin/index_bench

mkdir -p "$work"
cat > "$work/nosync.c" <<'EOC'
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
EOC
cc -shared -fPIC -O2 -o "$work/nosync.so" "$work/nosync.c"

echo "== flushed to disk"
rm -rf "$work/run"
"$bench" "$work/run" "$records" "$changes"
echo "== without fsync"
rm -rf "$work/run"
LD_PRELOAD="$work/nosync.so" "$bench" "$work/run" "$records" "$changes"
rm -rf "$work/run"
