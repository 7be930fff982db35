#!/bin/sh
# clang-tidy with the checked-in configuration over every source of the program and its tools;
# any finding fails the run.
set -eu
cd "$(dirname "$0")/.."
[ -f build/compile_commands.json ] || ./scripts/build.sh
files=$(git ls-files 'src/*.cc' 'tools/*.cc')
# shellcheck disable=SC2086
echo $files | xargs -n 4 -P "$(nproc)" clang-tidy -p build --quiet 2>&1 |
  grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' |
  tee build/clang-tidy.log
if grep -q -E '(warning|error):' build/clang-tidy.log; then
  echo "clang-tidy found the above" >&2
  exit 1
fi
echo "clang-tidy: nothing found"
