#!/bin/sh
# Apache, lighttpd or Python's http.server as a download endpoint for the tests, on 127.0.0.1,
# with the command line of nginx.sh where they share a meaning:
#
#   web-server.sh apache|lighttpd|plain --port-file F --log F --root DIR [--port N]
#                 [--rate BYTES_PER_SECOND]
#
# Each serves the files below DIR: Apache and lighttpd with their own ETags and ranges (several
# a request, as multipart/byteranges), "plain" (Python's http.server) with neither. Each request
# is logged as bi-endpoint logs it:
#   <method> <path> inm=<If-None-Match or -> status=<code> body_bytes=<n>
# --rate slows each response to about that many bytes a second (not "plain"). The configuration
# and error log go beside the port file, which appears (by rename) once the server listens. The
# server runs as a child of this script: start it in a session of its own and end the whole group.
set -eu

kind=$1
shift
port=0 port_file='' log='' root='' rate=0
while [ $# -gt 0 ]; do
  case "$1" in
    --port) port=$2 ;;
    --port-file) port_file=$2 ;;
    --log) log=$2 ;;
    --root) root=$2 ;;
    --rate) rate=$2 ;;
    *) echo "$0: unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
dir=$(cd "$(dirname "$port_file")" && pwd)
root=$(cd "$root" && pwd)
# Apache will not serve as root: its own user reads the files and writes the log.
chmod 0777 "$dir"
touch "$log" && chmod 0666 "$log"
modules=/usr/lib/apache2/modules

configure() {
  listen=$1
  case "$kind" in
    apache)
      limit=''
      [ "$rate" -gt 0 ] && limit="SetOutputFilter RATE_LIMIT
  SetEnv rate-limit $((rate / 1024))"
      cat >"$dir/server.conf" <<CONF
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule ratelimit_module $modules/mod_ratelimit.so
LoadModule env_module $modules/mod_env.so
User www-data
Group www-data
ServerName localhost
Listen 127.0.0.1:$1
PidFile $dir/server.pid
ErrorLog $dir/error.log
DocumentRoot "$root"
LogFormat "%m %U inm=%{If-None-Match}i status=%>s body_bytes=%B" requests
CustomLog "$log" requests
<Directory "$root">
  Require all granted
  $limit
</Directory>
CONF
      exec_server() { exec /usr/sbin/apache2 -X -f "$dir/server.conf"; } ;;
    lighttpd)
      limit=''
      [ "$rate" -gt 0 ] && limit="connection.kbytes-per-second = $((rate / 1024))"
      cat >"$dir/server.conf" <<CONF
server.document-root = "$root"
server.bind = "127.0.0.1"
server.port = $1
server.errorlog = "$dir/error.log"
server.modules = ("mod_accesslog")
accesslog.filename = "$log"
accesslog.format = "%m %U inm=%{If-None-Match}i status=%s body_bytes=%b"
mimetype.assign = (".zip" => "application/zip")
$limit
CONF
      exec_server() { exec /usr/sbin/lighttpd -D -f "$dir/server.conf"; } ;;
    plain)
      exec_server() {
        exec python3 -c '
import functools, http.server, os, sys
class Handler(http.server.SimpleHTTPRequestHandler):
    def log_request(self, code="-", size="-"):
        path = self.translate_path(self.path)
        size = os.path.getsize(path) if int(code) == 200 and os.path.isfile(path) else 0
        with open(sys.argv[3], "a") as log:
            log.write("%s %s inm=%s status=%s body_bytes=%s\n" % (self.command, self.path,
                      self.headers.get("If-None-Match", "-"), code, size))
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])),
                                functools.partial(Handler, directory=sys.argv[2]))
server.serve_forever()' "$listen" "$root" "$log"
      } ;;
    *) echo "$0: unknown server $kind" >&2; exit 2 ;;
  esac
}

# A port taken meanwhile by someone else makes the server exit at once: another one is tried.
# Port 0 (the default) takes a free one.
wanted=$port
for _ in 1 2 3 4 5 6 7 8 9 10; do
  port=$wanted
  [ "$port" -ne 0 ] || port=$(($(od -An -N2 -tu2 /dev/urandom) % 28000 + 20000))
  configure "$port"
  (exec_server) 2>>"$dir/error.log" &
  server=$!
  until ss -Hltn "sport = :$port" | grep -q . || ! kill -0 "$server" 2>/dev/null; do
    sleep 0.01
  done
  if kill -0 "$server" 2>/dev/null; then
    echo "$port" >"$port_file.new"
    mv "$port_file.new" "$port_file"
    wait "$server"
    exit
  fi
  [ "$wanted" -eq 0 ] || break
done
cat "$dir/error.log" >&2
exit 1
