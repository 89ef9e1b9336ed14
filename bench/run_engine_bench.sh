#!/usr/bin/env bash
# Engine benchmark: makes tables of 10 thousand, 100 thousand and 1 million records with a memo field
# (through the engine), then times side by side, with peak memory (GNU time): reading every record
# and memo through the engine, pgdbf, python3-dbfread, python3-dbf and ogr2ogr, with cat as the floor;
# adding a field to the largest table against cp of its .dbf; and opening a table for its first 50
# records, largest against smallest.
# Usage: bench/run_engine_bench.sh [work folder, default /tmp/dorvane-bench] [record counts...]
# Wall times suffer when other work shares the machine; the cpu column (user + system) does less.
# The build folder is $DORVANE_BENCH_BUILD (default build-bench, configured when missing); engine_read_bench is
# built there.
set -eu
source "$(dirname "$0")/build_bench.sh" engine_read_bench
here=$(dirname "$(readlink -f "$0")")
work=${1:-/tmp/dorvane-bench}
shift || true
sizes=${*:-"10000 100000 1000000"}
bench=$build/bin/engine_read_bench

mkdir -p "$work"
cd "$work"

# Making the tables appends record by record, and the engine flushes the memo file after each append;
# the shim of measure.sh turns those flushes into no-ops while the tables are made, and one sync at the
# end puts everything on disk.
source "$here/measure.sh"
measure_echo=$bench

read_dbfread='import dbfread, sys
n = 0
for record in dbfread.DBF(sys.argv[1]):
    n += 1
print(n)'
read_dbf='import dbf, sys
table = dbf.Table(sys.argv[1])
table.open(dbf.READ_ONLY)
n = 0
for record in table:
    tuple(record)
    n += 1
print(n)'

: >figures.tsv
smallest="" largest=""
for n in $sizes; do
  t=t$n
  [ -z "$smallest" ] && smallest=$t
  largest=$t
  if [ ! -f "$t.dbf" ] || [ ! -f "$t.done" ]; then
    rm -f "$t.dbf" "$t.fpt"
    start=$(date +%s.%N)
    LD_PRELOAD=$work/nosync.so "$bench" make "$t.dbf" "$n" >/dev/null
    sync
    printf '%-44s %9.2f s (flushes skipped)\n' "make $n records" "$(echo "$(date +%s.%N) - $start" | bc)"
    touch "$t.done"
  fi
  echo "== $n records: $(du -h "$t.dbf" | cut -f1) .dbf, $(du -h "$t.fpt" | cut -f1) .fpt"
  cat "$t.dbf" "$t.fpt" >/dev/null  # warm the page cache for every reader alike
  measure "$n cat .dbf+.fpt (floor)" cat "$t.dbf" "$t.fpt"
  measure "$n engine read all + memos" "$bench" read "$t.dbf"
  measure "$n pgdbf -m" pgdbf -m "$t.fpt" "$t.dbf"
  measure "$n python3-dbfread" /usr/bin/python3 -c "$read_dbfread" "$t.dbf"
  measure "$n python3-dbf" /usr/bin/python3 -c "$read_dbf" "$t.dbf"
  rm -f ogr.csv
  measure "$n ogr2ogr -f CSV" ogr2ogr -f CSV ogr.csv "$t.dbf"
  rm -f ogr.csv
done

echo "== structure change on $largest"
cp "$largest.dbf" work.dbf
cp "$largest.fpt" work.fpt
sync
measure "cp .dbf" cp "$largest.dbf" copy.dbf
rm -f copy.dbf
measure "cp .dbf + sync" sh -c "cp '$largest.dbf' copy.dbf && sync copy.dbf"
rm -f copy.dbf
measure "engine add field (flush included)" "$bench" addfield work.dbf
rm -f work.dbf work.fpt

echo "== open and first 50 records"
measure "first 50 of $smallest" "$bench" first50 "$smallest.dbf"
measure "first 50 of $largest" "$bench" first50 "$largest.dbf"

echo "== goals"
awk -F '\t' -v small="$smallest" -v large="$largest" '
  { secs[$1] = $2; mb[$1] = $3 / 1024; cpu[$1] = $4 }
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  END {
    n = split(small " " large, tables, " ")
    for (i = 1; i <= n; ++i) {
      count = substr(tables[i], 2)
      e = count " engine read all + memos"; p = count " pgdbf -m"
      printf "full read of %s records: engine %.2f s (cpu %.2f s) %d MB, pgdbf %.2f s (cpu %.2f s) %d MB: %.2fx faster by wall time, %.2fx by cpu time (goal 2x, lower memory)\n", count, secs[e], cpu[e], mb[e], secs[p], cpu[p], mb[p], ratio(secs[p], secs[e]), ratio(cpu[p], cpu[e])
    }
    a = "engine add field (flush included)"
    printf "add field: %.2f s = %.2fx cp (%.2f s), %.2fx cp + sync (goal within 3x)\n", secs[a], ratio(secs[a], secs["cp .dbf"]), secs["cp .dbf"], ratio(secs[a], secs["cp .dbf + sync"])
    f1 = "first 50 of " small; f2 = "first 50 of " large
    printf "first 50: %.3f s %d MB on %s, %.3f s %d MB on %s: %.2fx (goal within 2x, under 64 MB)\n", secs[f1], mb[f1], small, secs[f2], mb[f2], large, ratio(secs[f2], secs[f1])
  }' figures.tsv
