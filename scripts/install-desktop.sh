#!/usr/bin/env bash
# Puts Tallpost into the desktop's menu: a desktop entry naming the program in
# PROGRAM_FOLDER, and its icon, in the user's applications folder
# (DATA_DIR, default ${XDG_DATA_HOME:-~/.local/share}).
#   scripts/install-desktop.sh PROGRAM_FOLDER [DATA_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(cd "$1" && pwd)
data=${2:-${XDG_DATA_HOME:-$HOME/.local/share}}
mkdir -p "$data/applications" "$data/icons/hicolor/scalable/apps"
# In a desktop entry's Exec a quoted argument escapes ", `, $ and \ with a
# backslash; Path is a plain string.
exec_path=$(printf '%s' "$folder/Tallpost" | sed -e 's/[\\"`$]/\\\\&/g')
sed -e "s|@PROGRAM@|$(printf '%s' "$exec_path" | sed -e 's/[&|\\]/\\&/g')|" \
    -e "s|@FOLDER@|$(printf '%s' "$folder" | sed -e 's/[&|\\]/\\&/g')|" \
    data/tallpost.desktop.in > "$data/applications/tallpost.desktop.new"
mv -f "$data/applications/tallpost.desktop.new" "$data/applications/tallpost.desktop"
install -m 0644 data/tallpost.svg "$data/icons/hicolor/scalable/apps/tallpost.svg"
if command -v update-desktop-database >/dev/null; then
  update-desktop-database "$data/applications" >/dev/null 2>&1 || true
fi
