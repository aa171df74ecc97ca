#!/usr/bin/env bash
# Installs into a prefix whose name has spaces and checks the file list against
# installed-files.txt, then starts the installed program on a private Xvfb with a bare
# environment, as a menu would: it must run, answer `quillet status`, take its tray and window
# icons from the installed icon theme, and be the one instance a build-folder program talks to.
#
#   installed-program.sh BUILD_DIR BUILT_PROGRAM
set -euo pipefail
build=$1
built=$2
here=$(cd "$(dirname "$0")" && pwd)

tmp=$(mktemp -d)
xvfb=""
app=""
cleanup() {
  [[ -n "$app" ]] && kill "$app" 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# Polls `cmd…` until it succeeds or `seconds` pass.
wait_for() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.05
  done
}

prefix="$tmp/install prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort) >"$tmp/files"
LC_ALL=C sort "$here/installed-files.txt" >"$tmp/expected"
if ! diff -u "$tmp/expected" "$tmp/files"; then
  echo "the install differs from installed-files.txt (- expected, + installed)"
  exit 1
fi

# The desktop entry names an icon the install provides, at a menu size and scalable.
icon=$(sed -n 's/^Icon=//p' "$prefix/share/applications/app.quillet.Quillet.desktop")
for f in "48x48/apps/$icon.png" "scalable/apps/$icon.svg"; do
  [[ -s "$prefix/share/icons/hicolor/$f" ]] || { echo "desktop entry icon $icon missing: $f"; exit 1; }
done

"$prefix/bin/quillet" --version | grep -qx 'quillet [0-9.]*' || { echo "bad --version"; exit 1; }

mkdir -m 700 "$tmp/run" "$tmp/home"
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 2>/dev/null &
xvfb=$!
exec 3>&-
wait_for 10 test -s "$tmp/display" || { echo "Xvfb did not start"; exit 1; }
display=":$(cat "$tmp/display")"

bare=(env -i HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" PATH=/usr/bin:/bin)
"${bare[@]}" DISPLAY="$display" "$prefix/bin/quillet" 2>"$tmp/stderr" &
app=$!
status() { "${bare[@]}" "$1" status >"$tmp/status" 2>&1; }
wait_for 20 status "$prefix/bin/quillet" || { cat "$tmp/status" "$tmp/stderr"; exit 1; }
for line in "pid: $app" "tray-icon: theme" "app-icon: theme"; do
  grep -qx "$line" "$tmp/status" || { echo "want \"$line\" in:"; cat "$tmp/status"; exit 1; }
done

# A program from the build folder finds the installed one running and talks to it.
status "$built" || { cat "$tmp/status"; exit 1; }
grep -qx "pid: $app" "$tmp/status" || { echo "a second instance answered:"; cat "$tmp/status"; exit 1; }

"${bare[@]}" "$prefix/bin/quillet" quit
wait_for 10 bash -c "! kill -0 $app 2>/dev/null" || { echo "did not quit"; exit 1; }
wait "$app" || true
app=""
echo "installed program ran from \"$prefix\" with its theme icons"
