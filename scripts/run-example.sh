#!/bin/sh
# Sets up and builds what it needs, lays out an example bundle with nothing shipped but its
# endpoint file, starts the local endpoint on 127.0.0.1 and runs the program twice: a download,
# then a run from the cache (the endpoint answers "not modified"). Extra arguments go to the
# program.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
# Only what the example runs: the program (its window inside) and the local endpoint.
./scripts/build.sh bootstrap-installer bi-endpoint

example=build/example
rm -rf "$example"
mkdir -p "$example/agent" "$example/home" "$example/server"

# The example install agent prints what it received.
cat > "$example/agent/install" <<'AGENT'
echo "  install agent: started with $# arguments:"
for argument in "$@"; do printf '    [%s]\n' "$argument"; done
AGENT
(cd "$example/agent" && zip -q ../server/InstallAgent.zip install)

build/tools/endpoint/bi-endpoint --port 0 --port-file "$example/server/port" \
  --archive "$example/server/InstallAgent.zip" --log "$example/server/requests.log" \
  >/dev/null 2>"$example/server/errors.log" &
endpoint=$!
trap 'kill "$endpoint" 2>/dev/null || true' EXIT INT TERM
tries=0
while [ ! -s "$example/server/port" ]; do
  tries=$((tries + 1))
  [ "$tries" -lt 200 ] || { echo "the endpoint did not start" >&2; exit 1; }
  sleep 0.05
done
url="http://127.0.0.1:$(cat "$example/server/port")/InstallAgent.zip"
./scripts/make-bundle.sh -n setup build/bootstrap-installer "$url" "$example/Example.app"

status=0
for run in "first run: download" "second run: from the cache"; do
  echo "== $run ($url)"
  HOME="$PWD/$example/home" "$example/Example.app/Contents/MacOS/setup" "first argument" \
    '$(not run)' "$@" || status=$?
  echo "== exit status: $status"
done
echo "== the endpoint's log:"
cat "$example/server/requests.log"
exit "$status"
