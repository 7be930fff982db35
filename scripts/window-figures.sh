#!/bin/sh
# Measures the download window against a fast download (256 MiB from bi-endpoint on 127.0.0.1):
# the bar's redraws per second, the throughput with the window against the terminal (alternating
# runs, medians) and the peak memory of both. Usage: scripts/window-figures.sh [build directory]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  ./scripts/install-deps.sh
  ./scripts/build.sh
  build=build
fi
cmake --build "$build" --target bi_gui_figures
"$build/tests/bi_gui_figures" --gtest_filter='GuiFigures.*'
