#!/bin/sh
# Takes the README's screenshots of the download window (docs/window-downloading.png,
# window-installing.png, window-failed.png): the built program and its GTK module on a virtual
# X server, against bi-endpoint. Usage: scripts/window-screenshots.sh [build directory]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  ./scripts/install-deps.sh
  ./scripts/build.sh
  build=build
fi
cmake --build "$build" --target bi_gui_figures
BI_SCREENSHOT_DIR="$PWD/docs" "$build/tests/bi_gui_figures" --gtest_filter='WindowScreenshots.*'
