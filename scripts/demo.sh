#!/usr/bin/env bash
# Installs what the build needs, builds a release build, makes demo MP3 files (silent MPEG
# audio of our own, a few tags) and a 1200 x 900 demo cover in build/demo, then runs the main
# job on them with covrilo-cli and shows what the files hold before and after; last, a small
# library of album folders gets a cover per folder. Every command is printed as it is run, so
# it can be copied.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

scripts/deps.sh build

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

# A word as the shell reads it back: quoted when it holds anything but plain characters.
quote() {
  if [[ $1 =~ ^[A-Za-z0-9_./:=,+-]+$ ]]; then
    printf '%s' "$1"
  else
    printf "'%s'" "${1//\'/\'\\\'\'}"
  fi
}
# Prints the command exactly as it runs it, then runs it.
run() {
  local line="" word
  for word in "$@"; do line+="${line:+ }$(quote "$word")"; done
  echo "\$ $line"
  "$@"
}

cli=build/release/app/cli/covrilo-cli
demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"

echo "== Making demo files in $demo"
run build/release/demo/make_demo_files "$demo"
# A library of album folders from the untouched files: two with their own cover, one without.
library=$demo/library
run mkdir -p "$library/First Album" "$library/Second Album" "$library/Third Album"
run cp "$demo/01 Morning Light.mp3" "$demo/03 Long Walk.mp3" "$demo/cover.jpg" "$library/First Album/"
run cp "$demo/04 Mono Sketch.mp3" "$library/Second Album/"
run cp "$demo/05 Short.mp3" "$library/Third Album/"

echo
echo "== Before:"
run "$cli" info "$demo/01 Morning Light.mp3"

echo
echo "== The cover into every file (the 1200 x 900 cover is scaled to the default 500 x 500 limits, quality 70):"
run "$cli" add --cover "$demo/cover.jpg" --settings "$demo/settings.xml" "$demo"

echo
echo "== After:"
run "$cli" info "$demo/01 Morning Light.mp3"

echo
echo "== A back cover too, and the tag as ID3v2.4:"
run "$cli" add --cover "$demo/cover.jpg" --kind BackCover --id3 2.4-utf8 --settings "$demo/settings.xml" \
  "$demo/02 Café Straße.mp3"
run "$cli" info "$demo/02 Café Straße.mp3"

echo
echo "== Every picture removed again:"
run "$cli" remove --settings "$demo/settings.xml" "$demo/05 Short.mp3"
run "$cli" info "$demo/05 Short.mp3"

echo
echo "== The library: the second album gets a cover named in capitals, and a file that has a front cover"
run cp "$demo/temp.jpg" "$library/Second Album/Folder.JPG"
run cp "$demo/02 Café Straße.mp3" "$library/Second Album/"
echo
echo "== Each file gets its own folder's cover.jpg or folder.jpg (any case), prepared once per folder;"
echo "   files with a front cover are skipped, the files' times are kept. First what would be done"
echo "   (a dry run writes nothing), then done; the third album has no cover, so its file gets Error:"
run "$cli" add --cover-from-folder cover.jpg,folder.jpg --only-if-missing --keep-times --recursive \
  --dry-run --settings "$demo/settings.xml" "$library" || true
run "$cli" add --cover-from-folder cover.jpg,folder.jpg --only-if-missing --keep-times --recursive \
  --settings "$demo/settings.xml" "$library" || true

echo
echo "Demo done: the files are in $demo (the scaled cover is $demo/temp.jpg)."
if [ -x build/release/app/gui/covrilo ]; then
  echo "The window is build/release/app/gui/covrilo; on a desktop: build/release/app/gui/covrilo $demo"
fi
