#!/bin/sh
# Builds the program as a vendor ships it: Release, the C++ runtime inside, the window inside,
# stripped, installed by `cmake --install` into PREFIX/bin (build-release/dist by default); then
# shows what it asks of the system that runs it and fails above the README's glibc floor.
#
# The build runs inside a Debian 11 root (scripts/debian-root.sh, made once and kept) with that
# root's compiler, headers and static libraries, the source tree bound into it at its own path:
# a program links against the oldest glibc that it is built with, whatever this machine runs.
# Needs root (debootstrap, the bind mount); runs itself through sudo otherwise. The files in
# build-release/ belong to the owner of the source tree.
set -eu
cd "$(dirname "$0")/.."
tree=$(pwd -P)
prefix=$(realpath -m "${1:-build-release/dist}")
if [ "$(id -u)" -ne 0 ]; then
  exec sudo "$tree/scripts/build-release.sh" "$prefix"
fi
./scripts/install-deps.sh
# dbus-x11: GTK's settings service asks for a session bus, a choice debootstrap leaves unmade;
# gettext compiles the window's catalogs.
root=$(./scripts/debian-root.sh build-bullseye bullseye g++ make cmake pkg-config \
  libcurl4-openssl-dev libgtk-3-dev libsodium-dev dbus-x11 gettext)

# A build tree configured elsewhere (on this machine, or in a root of other packages) is made
# again: its cache names another compiler.
if [ "$(cat build-release/.root 2>/dev/null || true)" != "$(cat "$root/.bi-root")" ]; then
  rm -rf build-release
fi

mounted="$root$tree"
mkdir -p "$mounted"
mount --bind "$tree" "$mounted"
trap 'umount "$mounted" 2>/dev/null || umount -l "$mounted"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -O2: the level the distributions build their own packages at. The inner script expands its
# own argument, the tree's path.
# shellcheck disable=SC2016
chroot --userspec="$(stat -c %u:%g "$tree")" "$root" /usr/bin/env -i HOME=/tmp \
  PATH=/usr/bin:/bin LC_ALL=C.UTF-8 /bin/sh -eu -c '
  cd "$1"
  cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DBI_PORTABLE=ON -DBI_TESTS=OFF -DBI_WERROR=ON >/dev/null
  cat /.bi-root >build-release/.root
  cmake --build build-release -j "$(nproc)" --target bootstrap-installer
  cmake --install build-release --prefix "$1/build-release/dist" --strip
  ' sh "$tree"
if [ "$prefix" != "$tree/build-release/dist" ]; then
  mkdir -p "$prefix"
  cp -R build-release/dist/. "$prefix/"
fi
# The program, and the window module that it carries and loads when a display is named.
./scripts/check-portable.sh "$prefix/bin/bootstrap-installer" \
  build-release/src/framework/gtk/bootstrap-installer-gtk.image
