#!/bin/sh
# squid as a forward proxy for the tests, on 127.0.0.1, caching nothing, with the command line
# and the request log of bi-endpoint where they share a meaning:
#
#   squid.sh --port-file F --log F [--users HTPASSWD]
#
# With --users only those users are served, through Basic authentication. Each request is logged
#   <method> <URL> inm=<If-None-Match or -> status=<code> body_bytes=<n>
# Its configuration and cache log go beside the port file, which appears (by rename) once squid
# listens. squid runs as a child of this script: start it in a session of its own and end the
# whole group.
set -eu

port_file='' log='' users=''
while [ $# -gt 0 ]; do
  case "$1" in
    --port) ;;  # always a free one
    --port-file) port_file=$2 ;;
    --log) log=$2 ;;
    --users) users=$2 ;;
    *) echo "$0: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
dir=$(cd "$(dirname "$port_file")" && pwd)
# Started as root, squid works as its own user, who must reach these files.
chmod 0777 "$dir"
access="http_access allow all"
if [ -n "$users" ]; then
  access="auth_param basic program /usr/lib/squid/basic_ncsa_auth $users
acl users proxy_auth REQUIRED
http_access allow users
http_access deny all"
fi

# A port taken meanwhile by someone else makes squid exit at once: another one is tried.
for _ in 1 2 3 4 5 6 7 8 9 10; do
  port=$(($(od -An -N2 -tu2 /dev/urandom) % 28000 + 20000))
  rm -f "$dir/cache.log"
  cat >"$dir/squid.conf" <<CONF
http_port 127.0.0.1:$port
pid_filename $dir/squid.pid
cache_log $dir/cache.log
logformat requests %rm %ru inm=%{If-None-Match}>h status=%>Hs body_bytes=%<st
access_log stdio:$log requests
cache deny all
coredump_dir $dir
shutdown_lifetime 0 seconds
$access
CONF
  squid -N -f "$dir/squid.conf" &
  squid=$!
  until grep -q 'Accepting HTTP' "$dir/cache.log" 2>/dev/null || ! kill -0 "$squid" 2>/dev/null; do
    sleep 0.01
  done
  if kill -0 "$squid" 2>/dev/null; then
    echo "$port" >"$port_file.new"
    mv "$port_file.new" "$port_file"
    wait "$squid"
    exit
  fi
done
cat "$dir/cache.log" >&2
exit 1
