#!/bin/sh
# Fuzzes the minisign key and signature parsers, the freshness rules (response fields and
# the cache's record) and the reader of a ZIP archive's directory, with clang's libFuzzer (with
# ASan and UBSan), each for $BI_FUZZ_SECONDS (60 by default), from seeds that the real minisign
# and zip tools make here: keys alone and two in a row, prehashed and legacy signatures; archives
# with a comment, stored and deflated entries, a data descriptor and ZIP64's end record. Fails on
# any finding; a crashing input is left in build-fuzz/findings/.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
seconds=${BI_FUZZ_SECONDS:-60}
build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBI_FUZZ=ON \
  -DBI_TESTS=OFF -DBI_GTK=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target bi_fuzz_minisign_keys bi_fuzz_minisign_signature \
  bi_fuzz_freshness bi_fuzz_zip_directory

seeds=$(mktemp -d)
trap 'rm -rf "$seeds"' EXIT INT TERM
mkdir -p "$seeds/keys" "$seeds/signature" "$seeds/freshness" "$seeds/zip" "$build/findings"
for name in a b; do
  minisign -G -W -p "$seeds/$name.pub" -s "$seeds/$name.key" >/dev/null
  cp "$seeds/$name.pub" "$seeds/keys/$name"
done
cat "$seeds/a.pub" "$seeds/b.pub" >"$seeds/keys/both"
head -c 4096 /dev/urandom >"$seeds/file"
minisign -S -s "$seeds/a.key" -m "$seeds/file" -x "$seeds/signature/prehashed" >/dev/null
minisign -S -l -s "$seeds/b.key" -m "$seeds/file" -x "$seeds/signature/legacy" \
  -t "a trusted comment" >/dev/null

printf 'Cache-Control: max-age=3600, stale-if-error=604800\nDate: Sun, 06 Nov 1994 08:49:37 GMT\nAge: 5\nExpires: Sunday, 06-Nov-94 09:49:37 GMT\n' \
  >"$seeds/freshness/response"
printf 'url=https://h/a.zip\netag="x"\nsigner=\nrequest-time=1\nresponse-time=2\ndate=3\nage=4\nlifetime=5\nstale-if-error=-1\n' \
  >"$seeds/freshness/record"

(
  cd "$seeds"
  printf 'stored' >s && head -c 3000 /dev/zero >z
  zip -q -X zip/plain s z
  printf 'a comment' | zip -q -z zip/plain.zip
  zip -q -X - s | cat >zip/descriptor
  printf 'x' | zip -q - - >zip/zip64
)

for parser in keys signature freshness zip; do
  corpus="$build/corpus-$parser"
  mkdir -p "$corpus"
  echo "fuzzing the $parser parser for $seconds s"
  target="$build/tests/fuzz/bi_fuzz_minisign_$parser"
  [ "$parser" = freshness ] && target="$build/tests/fuzz/bi_fuzz_freshness"
  [ "$parser" = zip ] && target="$build/tests/fuzz/bi_fuzz_zip_directory"
  "$target" -max_total_time="$seconds" -timeout=10 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/$parser-" \
    "$corpus" "$seeds/$parser" 2>"$build/fuzz-$parser.log" || {
    tail -n 40 "$build/fuzz-$parser.log" >&2
    echo "the $parser parser failed under the fuzzer: see $build/findings/" >&2
    exit 1
  }
  grep -E '^stat::(number_of_executed_units|new_units_added)' "$build/fuzz-$parser.log"
done
