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
    # (or a script there that builds it itself, as bench/peers.sh does)
    for list in "$dir/CMakeLists.txt" "$dir"/*.sh; do
      [ -f "$list" ] || continue
      if grep -Eq "(^|[[:space:]/(])(${name//./\\.}|${name%.*})([[:space:])]|$)" "$list"; then
        found=true
        break 2
      fi
    done
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
