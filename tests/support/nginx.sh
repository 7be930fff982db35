#!/bin/sh
# nginx as a download endpoint for the tests, on 127.0.0.1, with the command line of bi-endpoint
# where they share a meaning:
#
#   nginx.sh --port-file F --log F --root DIR [--port N] [--cache-control VALUE]
#            [--tls-cert F --tls-key F] [--503-while F] [--rate BYTES_PER_SECOND]
#
# It serves the files below DIR with nginx's own ETag (and 304 for a matching If-None-Match),
# adds `Cache-Control: VALUE` to its answers when a value is given, answers 503 to everything
# while the file given to --503-while exists, sends each response at about --rate bytes a second
# when given, and logs each request as bi-endpoint does:
#   <method> <path> inm=<If-None-Match or -> status=<code> body_bytes=<n>
# Its configuration, pid and error log go beside the port file, which appears (by rename) once
# nginx listens. Port 0 (the default) takes a free one. nginx runs as a child of this script:
# start it in a session of its own and end the whole group.
set -eu

port=0 port_file='' log='' root='' cache_control='' cert='' key='' unavailable=/nonexistent rate=0
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=$2 ;;
    --port-file) port_file=$2 ;;
    --log) log=$2 ;;
    --root) root=$2 ;;
    --cache-control) cache_control=$2 ;;
    --tls-cert) cert=$2 ;;
    --tls-key) key=$2 ;;
    --503-while) unavailable=$2 ;;
    --rate) rate=$2 ;;
    *) echo "$0: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
if [ -z "$port_file" ] || [ -z "$log" ] || [ -z "$root" ]; then
  echo "$0: --port-file, --log and --root are needed" >&2
  exit 2
fi
dir=$(cd "$(dirname "$port_file")" && pwd)

ssl='' tls=''
if [ -n "$cert" ]; then
  ssl=" ssl"
  tls="ssl_certificate $cert; ssl_certificate_key $key;"
fi
header=''
if [ -n "$cache_control" ]; then
  header="add_header Cache-Control \"$cache_control\";"
fi

# A port taken meanwhile by someone else makes nginx exit at once: another one is tried.
for _ in 1 2 3 4 5 6 7 8 9 10; do
  listen=$port
  if [ "$port" -eq 0 ]; then
    listen=$(($(od -An -N2 -tu2 /dev/urandom) % 28000 + 20000))
  fi
  rm -f "$dir/nginx.pid"
  temp=""
  for name in client_body proxy fastcgi uwsgi scgi; do
    temp="$temp ${name}_temp_path $dir/$name;"
  done
  cat >"$dir/nginx.conf" <<EOF
master_process off; worker_processes 1; pid $dir/nginx.pid; lock_file $dir/nginx.lock;
error_log $dir/error.log;
events { worker_connections 64; }
http { $temp
  log_format requests escape=none
    '\$request_method \$uri inm=\$http_if_none_match status=\$status body_bytes=\$body_bytes_sent';
  access_log $log requests;
  server {
    listen 127.0.0.1:$listen$ssl; $tls
    root $root;
    if (-f $unavailable) { return 503; }
    limit_rate $rate;
    $header
  }
}
EOF
  nginx -p "$dir" -c "$dir/nginx.conf" -e "$dir/error.log" -g 'daemon off;' &
  nginx=$!
  # nginx writes its pid file once its socket listens.
  while [ ! -s "$dir/nginx.pid" ] && kill -0 "$nginx" 2>/dev/null; do
    sleep 0.01
  done
  if [ -s "$dir/nginx.pid" ]; then
    echo "$listen" >"$port_file.new"
    mv "$port_file.new" "$port_file"
    wait "$nginx"
    exit
  fi
  [ "$port" -eq 0 ] || break
done
cat "$dir/error.log" >&2
exit 1
