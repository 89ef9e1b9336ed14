#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_TESTS=OFF -DDORVANE_BUILD_BENCH=OFF
cmake --build build-run -j"$(nproc)"
exec build-run/bin/dorvane-table-suite
