#!/usr/bin/env bash
# Installs the Debian packages one job needs, and nothing more:
#   scripts/deps.sh build        build and run both programs (scripts/demo.sh)
#   scripts/deps.sh test         build, plus every tool the test command uses (scripts/test.sh)
#   scripts/deps.sh bench        build, plus Google Benchmark (bench/)
#   scripts/deps.sh screenshot   build, plus an X server and a window manager (scripts/screenshot.sh)
#   scripts/deps.sh all          all of them
# Several may be named at once; --print first lists the packages instead of installing them.
# Idempotent: quiet and quick when everything is already there.
set -euo pipefail

build=(
  cmake g++ make pkg-config
  libjpeg-dev                           # the cover's decoding and encoding
  zlib1g-dev                            # compressed ID3v2 frames, extended-header CRC
  qt6-base-dev                          # the window (Qt 6 Widgets)
  fonts-liberation2 fonts-dejavu-core   # the window's 11-pixel font (Liberation Sans, else DejaVu Sans)
  help2man                              # man pages made from --help
)
test=(
  git
  libgtest-dev libgmock-dev             # the suites
  clang libclang-rt-14-dev              # libFuzzer targets
  lame ffmpeg flac vorbis-tools         # real encoders for interop fixtures
  python3 python3-mutagen python3-pil   # peer tag reader used as an oracle, test pictures
  eyed3                                 # third peer tag reader (python3-eyed3)
  libtag1-dev                           # second peer (a small checker is built against it)
  util-linux                            # setpriv, to run as an unprivileged user
  man-db                                # man, to read the man pages the install test installs
  desktop-file-utils bash-completion    # desktop-file-validate; the completion's test
)
bench=(libbenchmark-dev)
screenshot=(xvfb openbox xdotool x11-utils)

usage() {
  echo "usage: scripts/deps.sh [--print] build|test|bench|screenshot|all ..." >&2
  exit 2
}
print=false
if [ "${1-}" = --print ]; then
  print=true
  shift
fi
[ $# -eq 0 ] && usage
packages=()
for job in "$@"; do
  case $job in
    build) packages+=("${build[@]}") ;;
    test) packages+=("${build[@]}" "${test[@]}") ;;
    bench) packages+=("${build[@]}" "${bench[@]}") ;;
    screenshot) packages+=("${build[@]}" "${screenshot[@]}") ;;
    all) packages+=("${build[@]}" "${test[@]}" "${bench[@]}" "${screenshot[@]}") ;;
    *) usage ;;
  esac
done

if $print; then
  printf '%s\n' "${packages[@]}" | sort -u
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    case " ${missing[*]-} " in *" $p "*) ;; *) missing+=("$p") ;; esac
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps.sh: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
