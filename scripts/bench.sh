#!/usr/bin/env bash
# Builds and runs the benchmarks on a private Xvfb display with openbox.
# Arguments go to bench_startup (the number of runs of each program).
set -euo pipefail

cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHALVORY_BUILD_BENCH=ON
cmake --build build --target bench_startup bench_plainwindow bench_catalogue bench_browse bench_transfer \
    bench_artsync bench_idle bench_download bench_siege halvory hvengine

build/bin/bench_catalogue
QT_QPA_PLATFORM=offscreen build/bin/bench_browse
build/bin/bench_artsync
build/bin/bench_transfer
build/bin/bench_siege

source scripts/lib/xsession.sh
start_x_session

build/bin/bench_startup "$@"
build/bin/bench_idle
build/bin/bench_download
