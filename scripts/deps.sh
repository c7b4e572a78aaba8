#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Sourced by the other scripts; safe to run again.
set -euo pipefail

QUILLON_PACKAGES=(
  cmake ninja-build ccache pkg-config g++
  qt6-base-dev zlib1g-dev libblkid-dev libarchive-dev liblzma-dev libzstd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  dosfstools e2fsprogs genisoimage
  mtools dbus-daemon
  zip arj arc p7zip-full xz-utils bzip2 zstd ncompress
  libqt6svg6 xvfb xauth
  shared-mime-info desktop-file-utils
)

quillon_install_deps() {
  local missing=()
  for p in "${QUILLON_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures (once) and builds a build folder: quillon_build DIR [cmake options...]
quillon_build() {
  local dir=$1
  shift
  local src
  src=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$src" -B "$dir" -G Ninja "$@"
  fi
  cmake --build "$dir" -j "$(nproc)"
}
