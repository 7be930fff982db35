#!/bin/sh
# Takes pictures of the desktop window on a headless Wayland compositor, as weston-screenshooter
# sees the screen: downloading, installing and failed, as DIR/wayland-<state>.png. Run it under
# with-weston.sh, whose compositor allows the screenshooter:
#   tests/support/with-weston.sh tests/support/wayland-screenshots.sh BUILD DIR
set -eu
build=$(realpath "$1")
out=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir bin tool agent
cp "$build/bootstrap-installer" tool/setup
convert -size 400x400 -define gradient:direction=SouthEast 'gradient:#1f4e79-#2e8b57' \
  -fill 'rgba(255,255,255,0.35)' -draw 'circle 200,200 200,80' tool/splash.png
printf 'exit 0\n' >agent/install
(cd agent && zip -q ../agent.zip install && head -c 6000 /dev/urandom >padding &&
  zip -q -0 ../agent.zip padding)
# An unzip that takes its time, so that the unpacking can be seen.
printf '#!/bin/sh\nsleep 3\nexec /usr/bin/unzip "$@"\n' >bin/unzip
chmod +x bin/unzip

# picture STATE SECONDS ENDPOINT-OPTION...: a run against bi-endpoint, its screen after SECONDS.
picture() {
  state=$1 seconds=$2
  shift 2
  rm -rf home port && mkdir home
  "$build/tools/endpoint/bi-endpoint" --archive agent.zip --port-file port "$@" &
  endpoint=$!
  while [ ! -s port ]; do sleep 0.05; done
  echo "http://127.0.0.1:$(cat port)/agent.zip" >tool/installAgentURL.txt
  HOME="$work/home" PATH="$work/bin:$PATH" tool/setup >/dev/null 2>&1 &
  program=$!
  sleep "$seconds"
  rm -f wayland-screenshot-*.png
  weston-screenshooter
  mv wayland-screenshot-*.png "$out/wayland-$state.png"
  echo "$out/wayland-$state.png"
  kill "$program" "$endpoint" 2>/dev/null || true
  wait "$program" "$endpoint" 2>/dev/null || true
}

picture downloading 1.5 --rate 2000
picture installing 1.5
picture failed 1.5 --status 404
