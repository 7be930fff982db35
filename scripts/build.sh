#!/bin/sh
# Configures build/ (RelWithDebInfo, warnings as errors) and builds the given targets, or
# everything. The example and the tests share the configuration, so that one never rebuilds
# what the other built.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBI_WERROR=ON >/dev/null
if [ "$#" -gt 0 ]; then
  cmake --build build -j "$(nproc)" --target "$@"
else
  cmake --build build -j "$(nproc)"
fi
