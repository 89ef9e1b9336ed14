#!/usr/bin/env bash
# Builds the fuzz targets in build-fuzz, makes seed corpora from the shared fixtures (copies, made at
# run time in the work folder, never committed) and runs each target for a while.
# Usage: fuzz/run_fuzz.sh [seconds per target, default 300] [work folder, default /tmp/dorvane-fuzz-run]
# Crashing inputs land in the work folder as crash-*, leak-*, timeout-*. MAX_LEN caps input sizes
# (smaller inputs run faster and stress the headers; the default keeps whole fixtures). KEEP_GOING=1
# keeps fuzzing after a crash (libFuzzer's fork mode), to look past a known fault.
set -eu
seconds=${1:-300}
work=${2:-/tmp/dorvane-fuzz-run}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
fixtures=${DORVANE_FIXTURES:-$root/../shared/fixtures}

if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DDORVANE_FUZZ=ON -DDORVANE_BUILD_GUI=OFF \
    -DDORVANE_BUILD_TESTS=OFF -DDORVANE_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
ninja -C "$build" -j2 fuzz_table_reader fuzz_container_reader fuzz_table_writer fuzz_index_changes

mkdir -p "$work/corpus-table" "$work/corpus-container" "$work/seed-table" "$work/seed-container" "$work/seed-index"
/usr/bin/python3 - "$fixtures" "$work" <<'PY'
import glob, os, struct, sys
fixtures, work = sys.argv[1], sys.argv[2]
def pack(first, second):
    return struct.pack("<I", len(first)) + first + second
def read(path):
    with open(path, "rb") as f:
        return f.read()
def memo_beside(path, extensions):
    stem = os.path.splitext(path)[0]
    for name in os.listdir(os.path.dirname(path)):
        full = os.path.join(os.path.dirname(path), name)
        base, ext = os.path.splitext(full)
        if base.lower() == stem.lower() and ext.lower() in extensions:
            return read(full)
    return b""
for path in glob.glob(os.path.join(fixtures, "**", "*"), recursive=True):
    ext = os.path.splitext(path)[1].lower()
    if ext == ".dbf":
        out = os.path.join(work, "seed-table", os.path.basename(path))
        data = pack(read(path), memo_beside(path, (".fpt", ".dbt")))
    elif ext == ".dbc":
        out = os.path.join(work, "seed-container", os.path.basename(path))
        data = pack(read(path), memo_beside(path, (".dct",)))
    elif ext in (".cdx", ".dcx"):
        # A script of changes after the index: inserts, removals and key changes on its tags.
        out = os.path.join(work, "seed-index", os.path.basename(path))
        data = pack(read(path), bytes(range(256)) * 2)
    else:
        continue
    with open(out, "wb") as f:
        f.write(data)
PY

cd "$work"
export TMPDIR=${TMPDIR:-/dev/shm}  # the targets rewrite their files on every run
# Each target: its binary, its corpus (grows) and its seeds (the writer starts from the table seeds).
for run in "table_reader table table" "container_reader container container" "table_writer writer table" \
           "index_changes index index"; do
  set -- $run
  mkdir -p "corpus-$2"
  "$build/bin/fuzz_$1" "corpus-$2" "seed-$3" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len="${MAX_LEN:-262144}" -print_final_stats=1 ${KEEP_GOING:+-fork=1 -ignore_crashes=1} 2>&1 | tail -n 15 || true
done
ls "$work" | grep -E '^(crash|leak|timeout|oom)-' || echo "no crashing inputs"
