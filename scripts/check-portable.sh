#!/bin/sh
# Shows what the given ELF files ask of the system that runs them, from their own symbol
# versions: the libraries they need and, for each versioned library, the newest version they
# require. Fails when one needs libstdc++ (a GLIBCXX_ or CXXABI_ version) or a glibc newer than
# the floor that the README states (--floor, 2.27 by default).
set -eu
floor=2.27
if [ "${1:-}" = "--floor" ]; then
  floor=$2
  shift 2
fi
[ "$#" -gt 0 ] || { echo "usage: $0 [--floor X.Y] ELF..." >&2; exit 2; }

status=0
for file in "$@"; do
  [ -f "$file" ] || { echo "$file: no such file" >&2; exit 2; }
  echo "$file: $(wc -c < "$file") bytes"
  echo "  needs: $(objdump -p "$file" | awk '$1 == "NEEDED" { printf "%s ", $2 }')"
  # Version requirements, as "GLIBC 2.34", newest of each family.
  versions=$(objdump -T "$file" | grep -oE '\(([A-Z]+)_[0-9][0-9.]*\)' | tr -d '()' | sort -u |
    sed -E 's/^([A-Z]+)_(.*)$/\1 \2/' | sort -k1,1 -k2,2V)
  echo "$versions" | awk 'NF { newest[$1] = $2 } END { for (f in newest) print "  newest " f "_" newest[f] }' | sort
  if echo "$versions" | grep -qE '^(GLIBCXX|CXXABI) '; then
    echo "  FAIL: needs the system's libstdc++" >&2
    status=1
  fi
  glibc=$(echo "$versions" | awk '$1 == "GLIBC" { v = $2 } END { print v }')
  if [ -n "$glibc" ] && [ "$(printf '%s\n%s\n' "$glibc" "$floor" | sort -V | tail -n 1)" != "$floor" ]; then
    echo "  FAIL: needs glibc $glibc, above the floor of $floor" >&2
    status=1
  fi
done
exit "$status"
