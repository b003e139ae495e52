#!/usr/bin/env bash
# Installs what Tallpost needs to build, run and test, unless it is already there.
set -euo pipefail
PACKAGES=(g++ cmake ninja-build qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev
          libbenchmark-dev fonts-ipafont-gothic python3)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi
