#!/bin/sh
# The desktop download window's figures, or its screenshots for the README.
#
#   scripts/window-figures.sh [build directory]
#     measures the window against a fast download (256 MiB from bi-endpoint on 127.0.0.1): the
#     bar's redraws per second, the throughput with the window against the terminal (alternating
#     runs, medians) and the peak memory of both;
#   scripts/window-figures.sh --screenshots [build directory]
#     takes docs/window-downloading.png, window-installing.png and window-failed.png, and in
#     German, Japanese and Arabic docs/window-<language>-downloading.png and -failed.png (a
#     refused connection's two lines).
#
# Both run the built program, its GTK window inside, on a virtual X server (xvfb-run).
set -eu
cd "$(dirname "$0")/.."
filter='GuiFigures.*'
if [ "${1:-}" = "--screenshots" ]; then
  filter='WindowScreenshots.*:Languages/LanguageScreenshots.*'
  shift
fi
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  ./scripts/install-deps.sh
  ./scripts/build.sh
  build=build
fi
cmake --build "$build" --target bi_gui_figures
BI_SCREENSHOT_DIR="$PWD/docs" xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" \
  "$build/tests/bi_gui_figures" --gtest_filter="$filter"
