#!/usr/bin/env bash
# Installs the Debian 12 packages Quorvel needs to build, test and run.
# Only missing packages are installed; a second run does nothing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git python3 python3-numpy
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins qt6-svg-dev libqt6svg6
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libglx-mesa0
  libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev libxcb1-dev libfast-float-dev libmeshoptimizer-dev
  libembree-dev libembree3-3
  clang libclang-rt-14-dev
  xvfb xauth imagemagick fonts-dejavu-core fonts-dejavu-extra xdotool
  # packaging and its checks (scripts/package-check.sh)
  desktop-file-utils appstream lintian dpkg-dev fakeroot file man-db librsvg2-bin
  locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
