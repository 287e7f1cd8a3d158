#!/usr/bin/env bash
# Nothing is globbed, so a source missing from its folder's CMakeLists.txt would silently not
# be built (a test file never run): fails naming every tracked .cpp/.c that no list names.
set -euo pipefail
cd "$(dirname "$0")/.."
missing=()
while IFS= read -r f; do
  dir=$(dirname "$f")
  name=$(basename "$f")
  found=false
  # The list of the file's own folder or of a folder above it names it (with or without its
  # folder and extension).
  while :; do
    if [ -f "$dir/CMakeLists.txt" ] && grep -Eq "(^|[[:space:]/(])(${name//./\\.}|${name%.*})([[:space:])]|$)" "$dir/CMakeLists.txt"; then
      found=true
      break
    fi
    [ "$dir" = . ] && break
    dir=$(dirname "$dir")
  done
  $found || missing+=("$f")
done < <(git ls-files '*.cpp' '*.c')
if [ ${#missing[@]} -ne 0 ]; then
  printf 'in no CMakeLists.txt: %s\n' "${missing[@]}" >&2
  exit 1
fi
echo "sources: every tracked source is in a CMakeLists.txt"
