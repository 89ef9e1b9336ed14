# Sourced by the benchmark scripts: builds the named targets in the benchmark build folder
# ($DORVANE_BENCH_BUILD, default build-bench), configuring a release build there when it is missing.
# Sets `root` and `build`.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${DORVANE_BENCH_BUILD:-$root/build-bench}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_GUI=OFF \
    -DDORVANE_BUILD_TESTS=OFF -DDORVANE_BUILD_BENCH=ON >/dev/null
fi
ninja -C "$build" -j2 "$@" >/dev/null
