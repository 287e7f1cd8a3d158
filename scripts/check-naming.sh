#!/usr/bin/env bash
# Checks the naming dialect (.clang-tidy; README, "Contributing") over every source of a
# configured build: scripts/check-naming.sh [BUILD_DIR] (default build/test, which
# scripts/test.sh configures). --fix renames in place.
set -euo pipefail
cd "$(dirname "$0")/.."
fix=()
if [ "${1-}" = --fix ]; then
  fix=(-fix)
  shift
fi
build=${1:-build/test}
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }
# Our own sources only (not the generated Qt files in the build folder).
run-clang-tidy -quiet -p "$build" -j"$(nproc 2>/dev/null || echo 2)" "${fix[@]}" \
  -header-filter="$(pwd)/(lib_audio_tools|multitag|app|tests|fuzz|demo|bench)/" \
  "$(pwd)/(lib_audio_tools|multitag|app|tests|fuzz|demo|bench)/.*\.(cpp|c)$" >"$build/naming.log" 2>&1 || true
if grep -q "invalid case style" "$build/naming.log"; then
  grep "invalid case style" "$build/naming.log" | sort -u >&2
  exit 1
fi
echo "naming: no identifier breaks the dialect"
