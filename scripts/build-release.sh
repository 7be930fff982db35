#!/bin/sh
# Builds the program as a vendor ships it: Release, the C++ runtime inside, the window inside,
# stripped, installed by `cmake --install` into PREFIX/bin (build-release/dist by default); then
# shows what it asks of the system that runs it and fails above the README's glibc floor.
set -eu
cd "$(dirname "$0")/.."
prefix=$(realpath -m "${1:-build-release/dist}")
./scripts/install-deps.sh
# -O2: GCC 12 at -O3 warns falsely (-Wrestrict) in std::string concatenation.
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DBI_PORTABLE=ON -DBI_TESTS=OFF -DBI_WERROR=ON >/dev/null
cmake --build build-release -j "$(nproc)" --target bootstrap-installer
cmake --install build-release --prefix "$prefix" --strip
# The program, and the window module that it carries and loads when a display is named.
./scripts/check-portable.sh "$prefix/bin/bootstrap-installer" \
  build-release/src/framework/gtk/bootstrap-installer-gtk.image
