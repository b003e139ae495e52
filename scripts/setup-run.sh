#!/usr/bin/env bash
# Installs the packages, builds Tallpost and starts it from its program folder.
# The program folder (default ~/Tallpost, or $TALLPOST_HOME) lives outside the
# build: installing again replaces the programs but never the user's mail,
# settings, address book or an existing character table.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
BUILD_DIR=${TALLPOST_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD_DIR" -j2
HOME_DIR=${TALLPOST_HOME:-$HOME/Tallpost}
mkdir -p "$HOME_DIR"
for program in Tallpost GlyphSwap tategaki tallpost-eml; do
  install -m 0755 "$BUILD_DIR/bin/$program" "$HOME_DIR/$program.new"
  mv -f "$HOME_DIR/$program.new" "$HOME_DIR/$program"
done
[ -e "$HOME_DIR/GlyphSwap.dat" ] || install -m 0644 "$BUILD_DIR/bin/GlyphSwap.dat" "$HOME_DIR/GlyphSwap.dat"
# The desktop's menu entry and icon (in ~/.local/share).
bash scripts/install-desktop.sh "$HOME_DIR"
cd "$HOME_DIR"
exec ./Tallpost "$@"
