#!/usr/bin/env bash
# Installs the Debian packages Kellix needs to build, test and run, but only those missing.
# Usage: scripts/install-deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev librtmidi-dev
  qt6-base-dev qt6-base-dev-tools
  clang libclang-rt-14-dev
  sox
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg -s "$p" >/dev/null 2>&1; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
"${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 update
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=300 \
  install -y --no-install-recommends "${missing[@]}"
