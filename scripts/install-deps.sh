#!/bin/sh
# Installs the Debian packages that building, the example and the tests need, when missing.
# Runs apt-get as root, through sudo otherwise.
set -eu

packages="cmake g++ make pkg-config libgtest-dev libgmock-dev unzip zip
  libcurl4-openssl-dev libcpp-httplib-dev libssl-dev nginx-light openssl curl
  libgtk-3-dev libx11-dev libxtst-dev libxdamage-dev xvfb"

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi
echo "Installing:$missing"
$as_root apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
