#!/bin/sh
# Sets up a fresh machine, builds with warnings as errors, builds the release program (in a kept
# Debian 11 root, which needs root or sudo) that the suite also runs in older and newer Debian
# roots, and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh
./scripts/build-release.sh
cd build
ctest --output-on-failure -j "$(nproc)"
