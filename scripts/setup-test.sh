#!/usr/bin/env bash
# Installs the packages, builds (Release, warnings as errors) and runs every test.
#   bash scripts/setup-test.sh             the test run of CI
#   bash scripts/setup-test.sh --sanitize  the same suite built twice more, with
#                                          g++ and with clang, under AddressSanitizer
#                                          and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/packages.sh test
if [ "${1:-}" = "--sanitize" ]; then
  bash scripts/packages.sh fuzz
  status=0
  for compiler in g++ clang++; do
    dir=${TALLPOST_BUILD_DIR:-build}-asan-${compiler%++}
    CXX=$compiler cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALLPOST_SANITIZE=ON \
      -DTALLPOST_TESTS=ON -DTALLPOST_BENCH=OFF -DTALLPOST_WERROR=ON
    cmake --build "$dir" -j2
    (cd "$dir" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS=suppressions=$root/tests/sanitizer/lsan.supp ctest --output-on-failure -j2) || status=1
  done
  exit $status
fi
BUILD_DIR=${TALLPOST_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTALLPOST_TESTS=ON -DTALLPOST_WERROR=ON
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
ctest --output-on-failure -j2
