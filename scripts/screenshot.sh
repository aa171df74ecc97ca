#!/usr/bin/env bash
# Makes the picture of what a user sees (README, AppStream screenshot): a capture on a private
# Xvfb with a region selected, its size label and the toolbar. Writes data/screenshots/capture.png.
set -euo pipefail
cd "$(dirname "$0")/.."
out=data/screenshots/capture.png
tmp=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
wait_for() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < end)) || return 1; sleep 0.1; done
}
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 2>/dev/null &
pids+=($!)
exec 3>&-
wait_for 10 test -s "$tmp/display"
export DISPLAY=":$(cat "$tmp/display")" HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp"
chmod 700 "$tmp"
openbox >/dev/null 2>&1 &
pids+=($!)
wait_for 10 xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1 || true
xsetroot -solid '#7f9cbf'
build/tests/xwin map 140 120 520 360 f4f1ea >/dev/null &
pids+=($!)
build/tests/xwin map 560 300 560 380 2b2f36 >/dev/null &
pids+=($!)
build/quillet 2>/dev/null &
pids+=($!)
wait_for 20 build/quillet status >/dev/null 2>&1
sleep 1 # let the windows settle before the screen freezes (a picture, not a test)
build/quillet capture
wait_for 10 bash -c 'build/quillet status | grep -qx "session: open"'
sleep 0.5
xdotool mousemove 380 230 mousedown 1 mousemove 600 400 mousemove 860 560 mouseup 1
xdotool mousemove 820 520
sleep 0.5
mkdir -p "$(dirname "$out")"
import -window root "$out"
echo "$out"
