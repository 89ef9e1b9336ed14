#!/usr/bin/env bash
# Export benchmark: a table of 1 million records (made through the engine when missing), then side by
# side, with peak memory (GNU time): the CSV export through a paging grid, pgdbf -m and ogr2ogr -f CSV
# converting the same table, the workbook export, and dorvane-sql printing SELECT * of it.
# Usage: bench/run_export_bench.sh [work folder, default /tmp/dorvane-export-bench] [records, default 1000000]
# The build folder is $DORVANE_EXPORT_BENCH_BUILD (default build-export-bench, a release build with the
# windows' libraries, configured when missing). Wall times suffer when other work shares the machine;
# the cpu column (user + system) does less.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DORVANE_EXPORT_BENCH_BUILD:-$root/build-export-bench}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_TESTS=OFF \
    -DDORVANE_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 export_bench engine_read_bench dorvane-sql >/dev/null
work=${1:-/tmp/dorvane-export-bench}
n=${2:-1000000}
mkdir -p "$work"
cd "$work"
t=t$n

cat > nosync.c <<'C'
int fsync(int fd) { (void)fd; return 0; }
int fdatasync(int fd) { (void)fd; return 0; }
C
cc -shared -fPIC -O2 -o nosync.so nosync.c
if [ ! -f "$t.dbf" ] || [ ! -f "$t.done" ]; then
  rm -f "$t.dbf" "$t.fpt"
  LD_PRELOAD=$work/nosync.so "$build/bin/engine_read_bench" make "$t.dbf" "$n" >/dev/null
  sync
  touch "$t.done"
fi

measure() {  # label, command...: one line with seconds, cpu seconds and peak memory
  local label=$1
  shift
  local start end
  start=$(date +%s%N)
  if /usr/bin/time -f "%M %U %S" -o time.txt "$@" >out.txt 2>err.txt; then
    end=$(date +%s%N)
    read -r kb user system < <(tail -n 1 time.txt)
    seconds=$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e9 }')
    cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.2f", u + s }')
    printf '%-36s %8.3f s wall %6.2f s cpu %5d MB\n' "$label" "$seconds" "$cpu" $((kb / 1024))
    printf '%s\t%s\t%s\t%s\n' "$label" "$seconds" "$kb" "$cpu" >>figures.tsv
  else
    printf '%-36s failed: %s\n' "$label" "$(head -c 300 err.txt | tr '\n' ' ')"
  fi
}

: >figures.tsv
echo "== $n records: $(du -h "$t.dbf" | cut -f1) .dbf, $(du -h "$t.fpt" | cut -f1) .fpt"
cat "$t.dbf" "$t.fpt" >/dev/null  # warm the page cache for every reader alike
rm -f out.csv ogr.csv pgdbf.sql select.txt ./*.xlsx
measure "csv export" "$build/bin/export_bench" csv "$t.dbf" out.csv
measure "pgdbf -m" sh -c "pgdbf -m '$t.fpt' '$t.dbf' >pgdbf.sql"
measure "ogr2ogr -f CSV" ogr2ogr -f CSV ogr.csv "$t.dbf"
measure "workbook export" "$build/bin/export_bench" xlsx "$t.dbf" "$work"
measure "dorvane-sql SELECT *" sh -c "'$build/bin/dorvane-sql' 'Provider=vfpoledb.1;Data Source=$work' 'SELECT * FROM $t' >select.txt"
rm -f out.csv ogr.csv pgdbf.sql select.txt ./*.xlsx

echo "== goals"
awk -F '\t' '
  { secs[$1] = $2; mb[$1] = $3 / 1024; cpu[$1] = $4 }
  function ratio(a, b) { return b > 0 ? a / b : 0 }
  END {
    c = "csv export"; p = "pgdbf -m"; o = "ogr2ogr -f CSV"; s = "dorvane-sql SELECT *"
    printf "csv export vs pgdbf: %.2fx by wall time, %.2fx by cpu (goal at least 1x)\n", ratio(secs[p], secs[c]), ratio(cpu[p], cpu[c])
    printf "csv export vs ogr2ogr: %.1fx by wall time, %.1fx by cpu (goal at least 10x)\n", ratio(secs[o], secs[c]), ratio(cpu[o], cpu[c])
    printf "csv export peak memory: %d MB (goal under 150 MB)\n", mb[c]
    printf "dorvane-sql vs pgdbf: %.2fx by wall time, %.2fx by cpu (goal at least 2x)\n", ratio(secs[p], secs[s]), ratio(cpu[p], cpu[s])
  }' figures.tsv
