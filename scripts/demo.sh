#!/usr/bin/env bash
# Installs what is missing, builds a release build, makes demo MP3 files (silent MPEG audio of
# our own, a few tags) and a 1200 x 900 demo cover in build/demo, then runs the main job on
# them with covrilo-cli and shows what the files hold before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

scripts/deps.sh

echo "== Building (release) ..."
log=build/release-build.log
mkdir -p build
# The window is built too where Qt 6 is installed (never started here: no display needed).
targets=(covrilo-cli make_demo_files)
if ! { cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DCOVRILO_BUILD_TESTS=OFF &&
       if grep -q '^COVRILO_BUILD_GUI:BOOL=ON' build/release/CMakeCache.txt; then targets+=(covrilo); fi &&
       cmake --build build/release -j"$jobs" --target "${targets[@]}"; } >"$log" 2>&1; then
  tail -n 40 "$log"
  echo "demo.sh: the build failed; the whole log is in $log" >&2
  exit 1
fi

cli=build/release/app/cli/covrilo-cli
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== Making demo files in $demo"
build/release/demo/make_demo_files "$demo"

echo
echo "== Before: $cli info $demo/01*.mp3"
"$cli" info "$demo"/01*.mp3

echo
echo "== $cli add --cover $demo/cover.jpg --settings $demo/settings.xml $demo"
echo "   (the 1200 x 900 cover is scaled to the default 500 x 500 limits, quality 70)"
"$cli" add --cover "$demo/cover.jpg" --settings "$demo/settings.xml" "$demo"

echo
echo "== After: $cli info $demo/01*.mp3"
"$cli" info "$demo"/01*.mp3

echo
echo "== $cli add --kind BackCover --id3 2.4-utf8 --settings $demo/settings.xml $demo/02*.mp3"
"$cli" add --cover "$demo/cover.jpg" --kind BackCover --id3 2.4-utf8 --settings "$demo/settings.xml" "$demo"/02*.mp3
"$cli" info "$demo"/02*.mp3

echo
echo "== $cli remove --settings $demo/settings.xml $demo/05*.mp3"
"$cli" remove --settings "$demo/settings.xml" "$demo"/05*.mp3
"$cli" info "$demo"/05*.mp3
echo
echo "Demo done: the files are in $demo (the scaled cover is $demo/temp.jpg)."
if [ -x build/release/app/gui/covrilo ]; then
  echo "The window is build/release/app/gui/covrilo; on a desktop: build/release/app/gui/covrilo $demo"
fi
