#!/bin/sh
# Usage: in-root.sh ROOT DIR CA HIDDEN PROGRAM [ARG...]
# Runs PROGRAM chrooted in the system tree ROOT, from the same working directory, with the
# environment as given. It runs in a mount namespace of its own, so every mount below ends with
# it and none can outlive a crash: /proc, the host's /dev and X sockets, a fresh /tmp, DIR (which
# holds the program, its HOME and TMPDIR; under /tmp) at the same path, the authority CA (a PEM
# file, "" for none) added to the root's own trust store, and the root's files that the pattern
# HIDDEN matches ("" for none, e.g. usr/lib/*/libcurl.so.4) replaced by an empty file.
# Needs root.
set -eu
[ "$#" -ge 5 ] || { echo "usage: $0 ROOT DIR CA HIDDEN PROGRAM [ARG...]" >&2; exit 2; }
exec unshare --mount --propagation private /bin/sh -eu -c '
root=$1 dir=$2 ca=$3 hidden=$4
shift 4
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mkdir -p "$root$dir" "$root/tmp/.X11-unix"
mount --bind "$dir" "$root$dir"
if [ -d /tmp/.X11-unix ]; then
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
fi
if [ -n "$ca" ]; then
  store=$root/etc/ssl/certs/ca-certificates.crt
  cat "$store" "$ca" >"$root/tmp/trusted.pem"
  mount --bind "$root/tmp/trusted.pem" "$store"
fi
if [ -n "$hidden" ]; then
  for file in "$root"/$hidden; do
    [ -e "$file" ] || { echo "$0: nothing to hide at $file" >&2; exit 1; }
    mount --bind /dev/null "$file"
  done
fi
exec chroot "$root" /usr/bin/env --chdir="$PWD" "$@"
' in-root "$@"
