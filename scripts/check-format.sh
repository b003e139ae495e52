#!/usr/bin/env bash
# Fails, naming the files, when a C++ file of the project is not laid out as
# .clang-format says. Fix with: clang-format -i <file>
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(find support vertical store mail gui glyphswap tools bench tests fuzz \
                       -name '*.cpp' -o -name '*.h' | sort)
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  printf 'not clang-formatted: %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files clang-formatted"
