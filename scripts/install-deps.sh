#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the desktop program need.
# Idempotent and non-interactive; run as root or with sudo available.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config git zstd python3
  clang libclang-rt-14-dev llvm
  zlib1g-dev libminizip-dev libmd-dev libblkid-dev
  libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-image-formats-plugins libgl-dev fonts-noto-cjk
  sleuthkit mtools dosfstools exfatprogs exfat-fuse fuse3 ntfs-3g fdisk util-linux
  nbdkit libnbd-bin fusefat
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
