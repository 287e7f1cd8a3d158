#!/usr/bin/env bash
# Times covrilo-cli against peer taggers on real MP3 files and writes the tables into
# bench/RESULTS.md (between its "peers.sh" markers). Public tools only, installed here:
# lame and ffmpeg for the corpus, python3-mutagen (its API, mid3v2, and the checks of every
# output), eyeD3, kid3-cli, a TagLib program (bench/peers/taglib_cover.cpp, libtag1-dev),
# hyperfine for the start-up times, /usr/bin/time for the peak memory of a 1 GB file.
#
#   bench/peers.sh [--files N] [--rounds R] [--baseline-cli PATH] [--work DIR] [--tools LIST]
#
# N files (default 100) of 3.85 MB, R rounds (default 5), in DIR (default build/peers, on the
# disk of the checkout: not a RAM folder). --baseline-cli also times an older covrilo-cli in
# the same run (the figures before a change).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
files=100 rounds=5 baseline="" work="$root/build/peers" tools="covrilo-cli,TagLib,mutagen,mid3v2,eyeD3,kid3-cli"
while [ $# -gt 0 ]; do
  case "$1" in
    --files) files=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --baseline-cli) baseline=$2; shift 2 ;;
    --work) work=$2; shift 2 ;;
    --tools) tools=$2; shift 2 ;;
    *) echo "peers.sh: unknown option $1" >&2; exit 2 ;;
  esac
done

need=(cmake g++ pkg-config libjpeg-dev zlib1g-dev lame ffmpeg python3-mutagen python3-pil eyed3 kid3-cli
      libtag1-dev hyperfine imagemagick time libbenchmark-dev)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DCOVRILO_BUILD_BENCH=ON -DCOVRILO_BUILD_TESTS=OFF \
  -DCOVRILO_BUILD_GUI=OFF >/dev/null
cmake --build build/bench -j2 --target covrilo-cli bench_CoverImage >/dev/null
cli="$root/build/bench/app/cli/covrilo-cli"
mkdir -p "$work"
taglib="$work/taglib_cover"
g++ -O2 -std=c++17 -o "$taglib" bench/peers/taglib_cover.cpp $(pkg-config --cflags --libs taglib)

args=(--cli "$cli" --taglib "$taglib" --work "$work" --files "$files" --rounds "$rounds" --tools "$tools"
      --results bench/RESULTS.md)
[ -n "$baseline" ] && args+=(--baseline-cli "$baseline")
/usr/bin/python3 bench/peers/peers.py "${args[@]}"

# Start-up: a process that does nothing but start and end (hyperfine, no shell in between).
echo "== start-up" >&2
startup="$work/startup.json"
hyperfine -N --warmup 20 --runs 300 --export-json "$startup" \
  -n covrilo-cli "$cli --version" -n "TagLib program" "$taglib" -n mutagen "/usr/bin/python3 bench/peers/mutagen_cover.py --version" \
  -n mid3v2 "mid3v2 --version" -n eyeD3 "eyeD3 --version" -n kid3-cli "kid3-cli --help" -i >/dev/null 2>&1
# Peak memory for a 1 GB file: a rewrite (tight padding) and a tag that grows in place.
echo "== memory" >&2
big="$work/big"
rm -rf "$big" && mkdir -p "$big"
src="$work/cache/source0.mp3"
for i in $(seq 1 270); do cat "$src"; done >"$big/tight.mp3"
cp "$big/tight.mp3" "$big/default.mp3"
/usr/bin/python3 - "$big" <<'PY'
import sys
from mutagen.id3 import ID3, TIT2, TPE1
for name, pad in (("tight.mp3", 1200), ("default.mp3", None)):
    t = ID3(); t.add(TIT2(encoding=1, text="Big")); t.add(TPE1(encoding=1, text="Artist"))
    t.save(sys.argv[1] + "/" + name, v2_version=3, v1=2, **({} if pad is None else {"padding": lambda i: pad}))
PY
sync -f "$big"
memory=""
for name in tight default; do
  /usr/bin/time -v "$cli" add --cover "$work/cache/cover.jpg" --settings "$work/settings.xml" "$big/$name.mp3" \
    >/dev/null 2>"$big/$name.time"
  memory+="$name $(stat -c %s "$big/$name.mp3") $(sed -n 's/.*Maximum resident set size (kbytes): //p' "$big/$name.time")
"
done
rm -rf "$big"
/usr/bin/python3 - "$startup" bench/RESULTS.md "$memory" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["results"]
lines = ["", "Process start-up (hyperfine, 300 runs, median and min-max): " +
         ", ".join("%s %.1f ms (%.1f-%.1f)" % (r["command"], r["median"] * 1000, r["min"] * 1000, r["max"] * 1000)
                   for r in runs) + "."]
for row in sys.argv[3].strip().splitlines():
    name, size, kb = row.split()
    lines.append("Peak memory of `covrilo-cli add` on a %.2f GB file (%s padding): %.1f MB." %
                 (int(size) / 1e9, name, int(kb) / 1024))
text = "\n".join(lines) + "\n"
print(text)
doc = open(sys.argv[2]).read()
end = "<!-- peers.sh: end -->"
doc = doc.replace(end, text + end)
open(sys.argv[2], "w").write(doc)
PY
