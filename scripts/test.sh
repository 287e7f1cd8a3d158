#!/usr/bin/env bash
# The one test command: installs what is missing, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer, runs every GoogleTest suite (interop included) with ctest,
# then gives each libFuzzer target a short smoke run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

scripts/deps.sh test

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DCOVRILO_SANITIZE=ON >/dev/null
cmake --build build/test -j"$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/test && ctest --output-on-failure -j"$jobs")

# Fuzz smoke: every target replays its seed corpus (every input that ever failed is kept there),
# then mutates it for a few seconds. The seed is fixed, but coverage feedback still lets two runs
# take different paths, so a failure here is a real fault to fix and keep as a seed, not noise.
# Long runs are done by hand (see fuzz/README.md).
if [ -f fuzz/CMakeLists.txt ] && command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOVRILO_FUZZ=ON >/dev/null
  cmake --build build/fuzz -j"$jobs"
  for f in build/fuzz/fuzz/fuzz_*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus="$root/build/fuzz/corpus-$name"
    mkdir -p "$corpus"
    seeds="$root/fuzz/corpus/${name#fuzz_}"
    args=("$corpus")
    [ -d "$seeds" ] && args+=("$seeds")
    echo "fuzz smoke: $name"
    "$f" -seed=1 -max_total_time=10 -timeout=10 -rss_limit_mb=2048 "${args[@]}" >"build/fuzz/$name.log" 2>&1 \
      || { tail -n 40 "build/fuzz/$name.log"; echo "fuzz smoke failed: $name" >&2; exit 1; }
  done
fi
echo "scripts/test.sh: all suites passed"
