#!/usr/bin/env bash
# Installs the Debian packages Covrilo needs to build, test and demo. Idempotent: quiet and
# quick when everything is already there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev libjpeg-dev
  zlib1g-dev                            # compressed ID3v2 frames, extended-header CRC
  clang libclang-rt-14-dev              # libFuzzer targets
  lame ffmpeg flac vorbis-tools         # real encoders for interop fixtures
  python3 python3-mutagen python3-pil   # peer tag reader used as an oracle
  eyed3                                 # third peer tag reader (python3-eyed3)
  libtag1-dev                           # second peer (a small checker is built against it)
  util-linux                            # setpriv, to run as an unprivileged user
  qt6-base-dev                          # the window (Qt 6 Widgets, QtTest)
  fonts-liberation2 fonts-dejavu-core   # the window's 11-pixel font (Liberation Sans, else DejaVu Sans)
  help2man man-db                       # man pages made from --help, and man to read them
  desktop-file-utils bash-completion    # desktop-file-validate; the completion's test
  xvfb openbox xdotool x11-utils        # scripts/screenshot.sh: a real X server, a window manager
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps.sh: installing ${missing[*]}" >&2
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
