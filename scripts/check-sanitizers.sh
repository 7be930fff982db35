#!/bin/sh
# Builds and runs the whole test suite under AddressSanitizer with UndefinedBehaviorSanitizer,
# then under ThreadSanitizer. The built program runs sanitized too, so the end-to-end tests
# check it. Any report fails the run.
set -eu
cd "$(dirname "$0")/.."
jobs=$(nproc)

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:exitcode=86"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"

for kind in address,undefined thread; do
  dir="build-$(echo "$kind" | tr ',' '-')"
  echo "== $kind: building in $dir"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DBI_WERROR=ON -DBI_SANITIZE="$kind" \
    -DBI_PORTABLE=OFF >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== $kind: testing"
  # The Debian roots run the release program, not this one: nothing for the sanitizers there.
  (cd "$dir" && ctest --output-on-failure -j "$jobs" -E "^Debian/")
done
