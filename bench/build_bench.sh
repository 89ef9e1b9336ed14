# Sourced by the benchmark scripts: builds the named targets in a release build folder, configuring it
# when missing: $DORVANE_BENCH_BUILD (default build-bench, the engine alone) or, when the script sets
# bench_windows=1 before sourcing this, $DORVANE_BENCH_GUI_BUILD (default build-bench-gui, with the windows).
# Sets `root` and `build`.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${bench_windows:-0}" = 1 ]; then
  build=${DORVANE_BENCH_GUI_BUILD:-$root/build-bench-gui}
  gui=ON
else
  build=${DORVANE_BENCH_BUILD:-$root/build-bench}
  gui=OFF
fi
if [ ! -f "$build/build.ninja" ]; then
  launcher=$(command -v ccache || true)
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_GUI=$gui \
    ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher} -DDORVANE_BUILD_TESTS=OFF -DDORVANE_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 "$@" >/dev/null
