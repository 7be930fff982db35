#!/bin/sh
# Installs the Debian packages that building, the example and the tests need, when missing.
# Runs apt-get as root, through sudo otherwise.
set -eu

# Building: cmake to libgtk-3-dev (and libx11-dev, libxdamage-dev for the window's figures), and
# libsodium-dev, whose static library goes into the program. The example adds unzip. The tests
# add zip, openssl and curl, util-linux's prlimit, setpriv, unshare and flock, script(1), tmux
# (the screen of a narrow terminal as its user sees it), strace,
# minisign (keys and signatures), libcurl3-gnutls (the other libcurl that the program loads), for
# the desktop window a virtual X server with xdotool, ImageMagick and python3-xlib and a headless
# Wayland compositor (weston), with a D-Bus session (dbus) and its accessibility bus (at-spi2-core)
# where python3-pyatspi reads the window as a screen reader does, clang with its libFuzzer for the
# parsers' fuzzing, and for the home on other file systems xfsprogs, btrfs-progs and bindfs with
# fuse3. The release build and the tests of the program in older and newer systems add
# debootstrap, for the Debian roots. The benchmarks add nginx, which the tests of the cache's
# freshness serve from too, with faketime to move the program's clock both ways. The proxies'
# tests add squid with apache2-utils' htpasswd, libproxy with its GSettings and PAC plugins and
# GNOME's proxy schemas (which the program loads at run time on a desktop), and for a network
# that drops packets iproute2 and nftables. The window's languages add gettext (the catalogs are
# compiled at build time), locales (the tests run in each language's locale, generated below) and
# CJK fonts for its figures in Japanese.
packages="cmake g++ make pkg-config libgtest-dev libgmock-dev libcurl4-openssl-dev
  libcpp-httplib-dev libssl-dev libgtk-3-dev libx11-dev libxdamage-dev libsodium-dev unzip
  zip openssl curl util-linux bsdutils tmux strace minisign libcurl3-gnutls
  weston xvfb xauth xdotool imagemagick x11-utils python3-xlib dbus at-spi2-core python3-pyatspi
  clang libclang-rt-14-dev nginx-light faketime
  xfsprogs btrfs-progs bindfs fuse3 debootstrap
  squid apache2-utils libproxy1v5 libproxy1-plugin-gsettings libproxy1-plugin-webkit
  gsettings-desktop-schemas iproute2 nftables gettext locales fonts-noto-cjk"

# The locales of the window's languages in their tests.
locales="de_DE fr_FR es_ES it_IT pt_BR ru_RU pl_PL nl_NL tr_TR ja_JP zh_CN ko_KR ar_EG he_IL"

if [ "$(id -u)" -eq 0 ]; then
  as_root=""
else
  as_root="sudo"
fi

missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $package"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $as_root apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $as_root apt-get install -y -q --no-install-recommends $missing
fi

# Only those missing are enabled and generated; the others, and other users' own, stay.
absent=""
for name in $locales; do
  locale -a 2>/dev/null | grep -qx "$name.utf8" || absent="$absent $name"
done
if [ -n "$absent" ]; then
  for name in $absent; do
    $as_root sed -i "s/^# *\($name\.UTF-8 UTF-8\)$/\1/" /etc/locale.gen
  done
  $as_root locale-gen --keep-existing
fi
