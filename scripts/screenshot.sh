#!/usr/bin/env bash
# Takes docs/window.png: the installed window, run under a real X server (Xvfb) with a window
# manager (openbox), after a run over the demo files with the demo cover loaded. Run by hand
# (it is not part of scripts/test.sh); look at the picture before committing it.
#   scripts/screenshot.sh [OUTPUT.png]        (default docs/window.png)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/window.png}
jobs=$(nproc 2>/dev/null || echo 2)

scripts/deps.sh screenshot

build=build/release
work=$(pwd)/build/screenshot
echo "== Building the window (release) ..."
mkdir -p build
if ! { cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCOVRILO_BUILD_TESTS=OFF -DCOVRILO_BUILD_GUI=ON &&
       cmake --build "$build" -j"$jobs"; } >build/screenshot-build.log 2>&1; then
  tail -n 40 build/screenshot-build.log
  echo "screenshot.sh: the build failed; the whole log is in build/screenshot-build.log" >&2
  exit 1
fi
rm -rf "$work"
mkdir -p "$work/home"
# The program as a user has it: installed, its settings in a fresh per-user folder.
cmake --install "$build" --prefix "$work/prefix" >/dev/null 2>&1 ||
  { echo "screenshot.sh: cmake --install failed" >&2; exit 1; }
"$build/demo/make_demo_files" "$work/demo" >/dev/null

# A display number nobody uses.
display=
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "screenshot.sh: no free X display number" >&2; exit 1; }

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Waits up to ten seconds for a command to succeed.
wait_for() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "screenshot.sh: timed out waiting for: $*" >&2
  return 1
}

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for xdpyinfo
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }
wait_for wm_running

# The cover and the folder on the command line, as if dropped on the window.
env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  "$work/prefix/bin/covrilo" "$work/demo/cover.jpg" "$work/demo" >"$work/covrilo.log" 2>&1 &
pids+=($!)
wid=$(timeout 20 xdotool search --sync --onlyvisible --name '^Covrilo 2\.0\.1 Light \[' | head -n 1) || true
[ -n "$wid" ] || { echo "screenshot.sh: the window did not appear" >&2; cat "$work/covrilo.log" >&2; exit 1; }
sleep 0.5

# "Start" is at 409/536 (137 x 33) in the window.
xdotool mousemove --window "$wid" 477 552 click 1
all_tagged() {
  [ "$("$work/prefix/bin/covrilo-cli" info "$work"/demo/*.mp3 | grep -c '^  picture:')" -eq 5 ]
}
wait_for all_tagged
xdotool mousemove 1000 750
sleep 1

# The window with its frame: the client's place widened by the frame the window manager drew.
info=$(xwininfo -id "$wid")
X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
WIDTH=$(sed -n 's/.*Width: *//p' <<<"$info")
HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
read -r left right top bottom < <(xprop -id "$wid" _NET_FRAME_EXTENTS | sed 's/.*= *//; s/,/ /g')
mkdir -p "$(dirname "$out")"
ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 \
  -video_size "$((WIDTH + left + right))x$((HEIGHT + top + bottom))" \
  -i "$display+$((X - left)),$((Y - top))" -frames:v 1 "$out"

xdotool mousemove --window "$wid" 604 552 click 1   # "Close": the settings are written
wait_for test -s "$work/home/.config/covrilo/settings.xml"
echo "screenshot.sh: wrote $out"
