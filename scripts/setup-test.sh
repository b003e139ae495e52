#!/usr/bin/env bash
# Installs the packages, builds (Release, warnings as errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh test
BUILD_DIR=${TALLPOST_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLPOST_TESTS=ON -DTALLPOST_WERROR=ON
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
ctest --output-on-failure -j2
