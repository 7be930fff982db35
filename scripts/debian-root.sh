#!/bin/sh
# Usage: debian-root.sh NAME SUITE [PACKAGE...]
# Makes, once, a Debian root of SUITE (debootstrap --variant=minbase plus the packages) from the
# mirror that this machine's apt uses, and prints its path. Roots are kept between runs under
# $BI_ROOTS_DIR (/var/cache/bootstrap-installer/roots by default) and made again when missing or
# when the package list changed. Needs root. Output of debootstrap goes to standard error.
set -eu
[ "$#" -ge 2 ] || { echo "usage: $0 NAME SUITE [PACKAGE...]" >&2; exit 2; }
name=$1
suite=$2
shift 2
packages=$(printf '%s\n' "$@" | sort -u | paste -sd, -)
roots=${BI_ROOTS_DIR:-/var/cache/bootstrap-installer/roots}
dir=$roots/$name
want="$suite $packages"
mkdir -p "$roots"

# One maker at a time per root; a second caller waits and then finds it made.
exec 9>"$dir.lock"
flock 9
if [ -f "$dir/.bi-root" ] && [ "$(cat "$dir/.bi-root")" = "$want" ]; then
  echo "$dir"
  exit 0
fi

# The Debian mirror that apt is set up with here (deb822 sources first, then sources.list).
mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs:[[:space:]]*//p' |
  tr ' ' '\n' | grep -E '/debian/?$' | head -n 1 || true)
if [ -z "$mirror" ]; then
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" && $NF != "" { for (i = 2; i <= NF; i++) if ($i ~ /\/debian\/?$/) { print $i; exit } }')
fi
[ -n "$mirror" ] || { echo "$0: no Debian mirror in the apt configuration" >&2; exit 1; }

# Never remove a tree that still has something mounted inside it.
for old in "$dir" "$dir.new"; do
  if [ -d "$old" ] && grep -q " $old/" /proc/self/mounts; then
    echo "$0: $old has mounts inside; unmount them first" >&2
    exit 1
  fi
done
rm -rf "$dir.new"
debootstrap --variant=minbase ${packages:+--include="$packages"} "$suite" "$dir.new" "$mirror" >&2
echo "$want" >"$dir.new/.bi-root"
rm -rf "$dir"
mv "$dir.new" "$dir"
echo "$dir"
