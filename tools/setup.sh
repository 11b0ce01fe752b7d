#!/usr/bin/env bash
# Installs the Debian packages the project builds, runs and tests with; quick when all are there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-image-formats-plugins libgl-dev libxcb1-dev
  libxcb-shm0-dev
  fonts-nanum fontconfig
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xdotool openbox imagemagick x11-utils xauth xclip libx11-6 libxfixes3
  weston xwayland qt6-wayland
  python3
  clang libclang-rt-14-dev
  dpkg-dev desktop-file-utils appstream lintian man-db
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}"
SUDO=""
[[ $(id -u) -eq 0 ]] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
