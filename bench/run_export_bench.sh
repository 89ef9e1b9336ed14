#!/usr/bin/env bash
# Export benchmark: a table of 1 million records (made through the engine when missing), then side by
# side, with peak memory (GNU time): the CSV export through the editor window's own grid (over a copy of
# the table given its row identifier as the editor does), pgdbf -m and ogr2ogr -f CSV converting the
# same table, the workbook export, and dorvane-sql printing SELECT * of it.
# Usage: bench/run_export_bench.sh [work folder, default /tmp/dorvane-export-bench] [records, default 1000000]
# DORVANE_BENCH_ROUNDS (default 3) sets how many times each command runs.
# DORVANE_EXPORT_KEEP=PREFIX keeps the CSV export and dorvane-sql's output as PREFIX.csv and PREFIX.txt
# (to compare the output of two builds).
# The build folder is $DORVANE_BENCH_GUI_BUILD (default build-bench-gui, a release build with the
# windows' libraries, configured when missing). Wall times suffer when other work shares the machine;
# the cpu column (user + system) does less.
set -eu
here=$(dirname "$(readlink -f "$0")")
bench_windows=1
source "$here/build_bench.sh" export_bench engine_read_bench dorvane-sql
work=${1:-/tmp/dorvane-export-bench}
n=${2:-1000000}
mkdir -p "$work"
cd "$work"
t=t$n

source "$here/measure.sh"
if [ ! -f "$t.dbf" ] || [ ! -f "$t.done" ]; then
  rm -f "$t.dbf" "$t.fpt"
  LD_PRELOAD=$work/nosync.so "$build/bin/engine_read_bench" make "$t.dbf" "$n" >/dev/null
  sync
  touch "$t.done"
fi
# The editor's copy: the same records with the row identifier the editor adds and numbers.
if [ ! -f grid/$t.done ]; then
  rm -rf grid && mkdir grid
  cp "$t.dbf" "$t.fpt" grid/
  LD_PRELOAD=$work/nosync.so "$build/bin/export_bench" prepare "$work/grid" "$t"
  sync
  touch grid/$t.done
fi

: >figures.tsv
echo "== $n records: $(du -h "$t.dbf" | cut -f1) .dbf, $(du -h "$t.fpt" | cut -f1) .fpt"
cat "$t.dbf" "$t.fpt" grid/"$t".* >/dev/null  # warm the page cache for every reader alike
# Rounds of every command in turn, so that other work on the machine weighs on all of them alike; the
# goals take each command's best wall time and best cpu time, and its highest peak memory. The export
# syncs its file to the disk before it replaces an older one (the kernel's writing-out is then charged
# to it), so the converters it is set against sync theirs too; dorvane-sql and pgdbf write to a pipe-like
# standard output and neither syncs.
rounds=${DORVANE_BENCH_ROUNDS:-3}
for round in $(seq "$rounds"); do
  echo "-- round $round"
  rm -f out.csv ogr.csv pgdbf.sql select.txt ./*.xlsx
  measure "csv export" "$build/bin/export_bench" csv "$work/grid" "$t" "$work/out.csv"
  measure "pgdbf -m" sh -c "pgdbf -m '$t.fpt' '$t.dbf' >pgdbf.sql"
  measure "pgdbf -m, file synced" sh -c "pgdbf -m '$t.fpt' '$t.dbf' >pgdbf.sql && sync pgdbf.sql"
  measure "ogr2ogr -f CSV, file synced" sh -c "ogr2ogr -f CSV ogr.csv '$t.dbf' && sync ogr.csv"
  measure "workbook export" "$build/bin/export_bench" xlsx "$work/grid" "$t" "$work"
  measure "dorvane-sql SELECT *" sh -c "'$build/bin/dorvane-sql' 'Provider=vfpoledb.1;Data Source=$work' 'SELECT * FROM $t' >select.txt"
done
if [ -n "${DORVANE_EXPORT_KEEP:-}" ]; then mv out.csv "$DORVANE_EXPORT_KEEP.csv"; mv select.txt "$DORVANE_EXPORT_KEEP.txt"; fi
rm -f out.csv ogr.csv pgdbf.sql select.txt ./*.xlsx

echo "== goals"
awk -F '\t' '
  function least(a, k, v) { if (!(k in a) || v < a[k]) a[k] = v }
  function most(a, k, v) { if (!(k in a) || v > a[k]) a[k] = v }
  { least(secs, $1, $2 + 0); most(mb, $1, $3 / 1024); least(cpu, $1, $4 + 0) }
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  END {
    for (k in secs) printf "best %-40s %8.3f s wall %7.2f s cpu %6d MB\n", k, secs[k], cpu[k], mb[k]
    c = "csv export"; p = "pgdbf -m"; ps = "pgdbf -m, file synced"; o = "ogr2ogr -f CSV, file synced"; s = "dorvane-sql SELECT *"
    printf "csv export vs pgdbf (synced): %.2fx by wall time, %.2fx by cpu (goal at least 1x)\n", ratio(secs[ps], secs[c]), ratio(cpu[ps], cpu[c])
    printf "csv export vs pgdbf (not synced): %.2fx by wall time, %.2fx by cpu\n", ratio(secs[p], secs[c]), ratio(cpu[p], cpu[c])
    printf "csv export vs ogr2ogr: %.1fx by wall time, %.1fx by cpu (goal at least 10x)\n", ratio(secs[o], secs[c]), ratio(cpu[o], cpu[c])
    printf "csv export peak memory: %d MB (goal under 150 MB)\n", mb[c]
    printf "dorvane-sql vs pgdbf: %.2fx by wall time, %.2fx by cpu (goal at least 2x)\n", ratio(secs[p], secs[s]), ratio(cpu[p], cpu[s])
  }' figures.tsv
