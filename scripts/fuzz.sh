#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60) on a copy
# of its seeds. Names after SECONDS pick targets (default: all of them).
#   bash scripts/fuzz.sh [SECONDS] [name ...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh fuzz
SECONDS_EACH=${1:-60}
shift || true
BUILD_DIR=${TALLPOST_FUZZ_BUILD_DIR:-build-fuzz}
ALL=$(sed -n 's/^tallpost_add_fuzz(\([a-z0-9]*\) .*/\1/p' fuzz/CMakeLists.txt)
TARGETS=${*:-$ALL}
CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLPOST_FUZZ=ON \
  -DTALLPOST_TESTS=OFF -DTALLPOST_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target $(for t in $TARGETS; do printf '%s_fuzz ' "$t"; done)
python3 fuzz/make_seeds.py
status=0
for t in $TARGETS; do
  corpus="$BUILD_DIR/corpus/$t"
  mkdir -p "$corpus" "$BUILD_DIR/crashes/$t"
  cp -n fuzz/seeds/"$t"/* "$corpus"/
  echo "== $t for ${SECONDS_EACH}s"
  if ! "$BUILD_DIR/fuzz/${t}_fuzz" -max_total_time="$SECONDS_EACH" -rss_limit_mb=4096 -timeout=20 \
      -artifact_prefix="$BUILD_DIR/crashes/$t/" -print_final_stats=1 "$corpus" 2>"$BUILD_DIR/$t.log"; then
    echo "   FAILED: see $BUILD_DIR/$t.log and $BUILD_DIR/crashes/$t/"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$BUILD_DIR/$t.log" | sed 's/^/   /' || true
done
exit $status
