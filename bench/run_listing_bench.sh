#!/usr/bin/env bash
# Table listing benchmark: a folder of 10,000 tables (default) listed into a shown list box, as the
# table-list window lists them, with the provider's schema query alone beside it. Windows are drawn
# offscreen unless QT_QPA_PLATFORM says otherwise.
# Usage: bench/run_listing_bench.sh [work folder, default /tmp/dorvane-listing-bench] [tables]
# The build folder is $DORVANE_BENCH_GUI_BUILD (default build-bench-gui, a release build with the windows).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${DORVANE_BENCH_GUI_BUILD:-$root/build-bench-gui}
if [ ! -f "$build/build.ninja" ]; then
  launcher=$(command -v ccache || true)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_TESTS=OFF \
    ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher} \
    -DDORVANE_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 listing_bench >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/listing_bench" "${1:-/tmp/dorvane-listing-bench}" "${2:-10000}"
