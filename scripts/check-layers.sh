#!/bin/sh
# The platform layer's wings include only the wings below them: base nothing; os, loop and crypto
# only base; net base and os; ui base, os and loop; gtk base, os, loop and ui. None includes the
# system's own code. Any other include fails the run.
set -eu
cd "$(dirname "$0")/.."
found=$(grep -rn '#include "' src/framework | awk -F: '
  {
    split($1, from, "/"); wing = from[3]
    match($0, /#include "[^"]*"/); target = substr($0, RSTART + 10, RLENGTH - 11)
    split(target, to, "/")
    if (to[1] != "framework") { if (target ~ /\//) print; next }
    allowed["base"] = " "; allowed["os"] = " base "; allowed["loop"] = " base "; allowed["crypto"] = " base "
    allowed["net"] = " base os "; allowed["ui"] = " base os loop "
    allowed["gtk"] = " base os loop ui "
    if (to[2] != wing && index(allowed[wing], " " to[2] " ") == 0) print
  }')
if [ -n "$found" ]; then
  echo "includes across the platform layer's wings:" >&2
  echo "$found" >&2
  exit 1
fi
echo "layers: every include goes to the same wing or one below"
