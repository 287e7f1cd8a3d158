#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what .clang-format makes of it; names the
# files. scripts/check-format.sh --fix formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1-}" = --fix ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
bad=()
for f in "${sources[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -ne 0 ]; then
  printf 'not formatted: %s\n' "${bad[@]}" >&2
  echo "run scripts/check-format.sh --fix (clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -1))" >&2
  exit 1
fi
echo "format: ${#sources[@]} sources match .clang-format"
