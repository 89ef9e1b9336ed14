#!/usr/bin/env bash
# Table listing benchmark: a folder of 10,000 tables (default) listed into a shown list box, as the
# table-list window lists them, with the provider's schema query alone beside it. Windows are drawn
# offscreen unless QT_QPA_PLATFORM says otherwise.
# Usage: bench/run_listing_bench.sh [work folder, default /tmp/dorvane-listing-bench] [tables]
# The build folder is $DORVANE_BENCH_GUI_BUILD (default build-bench-gui, a release build with the windows).
set -eu
bench_windows=1
source "$(dirname "$0")/build_bench.sh" listing_bench
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/listing_bench" "${1:-/tmp/dorvane-listing-bench}" "${2:-10000}"
