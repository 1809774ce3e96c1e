#!/usr/bin/env bash
# Installs the Debian packages Velquin needs to build, test and run, when any is missing.
# As root it runs apt-get itself; otherwise it prints the one command to run and fails.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs
  libpng-dev libwebp-dev libtiff-dev libheif-dev
  qt6-base-dev libgl-dev
  libsqlite3-dev
  nlohmann-json3-dev
  desktop-file-utils appstream groff dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -ne 0 ]]; then
  echo "Velquin needs these packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
