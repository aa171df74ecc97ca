#!/usr/bin/env bash
# Clean-room check of the Debian package: builds it, makes a fresh minimal Debian 12 root with
# mmdebstrap, installs the package there with apt alone (so its dependency list must be
# complete), and runs the installed program on an Xvfb server of this machine whose socket is
# the only thing shared with the root: --version, start resident, status, one capture saved by
# quick save, quit. Then removes the package and checks that it took all its files with it but
# left the user's settings. Needs root (chroot, bind mounts) and the Debian mirror.
#
#   scripts/package-check.sh            (QUILLET_MIRROR overrides http://deb.debian.org/debian)
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
say() { printf '[%3ds] %s\n' $((SECONDS - started)) "$*"; }

[[ $(id -u) -eq 0 ]] || { echo "package-check: run as root (it uses chroot and bind mounts)"; exit 1; }
scripts/setup.sh --test >/dev/null
scripts/setup.sh --clean-room >/dev/null
deb=$(scripts/package.sh 2>/dev/null | tail -1)
deb=$(realpath "$deb")
say "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"

work=$(mktemp -d /var/tmp/quillet-clean-room.XXXXXX)
root="$work/root"
xvfb=""
mounted=()
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null || true
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  # Never delete through a bind mount that is still there: it would reach this machine's /dev.
  if grep -q " $work/" /proc/self/mounts; then
    echo "package-check: mounts remain under $work; leaving it for you to remove"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

wait_for() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}

mirror=${QUILLET_MIRROR:-http://deb.debian.org/debian}
mmdebstrap --quiet --variant=apt \
  --customize-hook="copy-in '$deb' /tmp" \
  --customize-hook="chroot \"\$1\" apt-get install -y -q --no-install-recommends /tmp/$(basename "$deb") >'$work/apt.log'" \
  bookworm "$root" "$mirror" || { cat "$work/apt.log" 2>/dev/null; exit 1; }
say "fresh Debian 12 root made and the package installed with apt"

in_root() { chroot "$root" env -i HOME=/home/user XDG_RUNTIME_DIR=/run/user/0 PATH=/usr/bin:/bin DISPLAY="$display" "$@"; }

missing=$(chroot "$root" sh -c 'ldd /usr/bin/quillet /usr/lib/*/qt6/plugins/platforms/libqxcb.so' | grep 'not found' || true)
[[ -z "$missing" ]] || { echo "libraries missing in the clean root:"; echo "$missing"; exit 1; }

# The X server runs here; the root sees only its socket.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -noreset -nolisten tcp 2>/dev/null &
xvfb=$!
exec 3>&-
wait_for 10 test -s "$work/display" || { echo "Xvfb did not start"; exit 1; }
display=":$(cat "$work/display")"
for m in proc dev tmp/.X11-unix; do
  mkdir -p "$root/$m"
  case $m in
    proc) mount -t proc proc "$root/proc" ;;
    *) mount --rbind "/$m" "$root/$m" ;;
  esac
  mounted+=("$root/$m")
done
mkdir -p -m 700 "$root/run/user/0" "$root/home/user/Pictures/saved"
mkdir -p "$root/home/user/.config/quillet"
printf '[General]\nquickSave=true\nsaveDir=/home/user/Pictures/saved\n' \
  >"$root/home/user/.config/quillet/quillet.conf"

say "$(in_root quillet --version)"
in_root quillet 2>"$work/stderr" &
status() { in_root quillet status >"$work/status" 2>&1; }
wait_for 20 status || { echo "no status:"; cat "$work/status" "$work/stderr"; exit 1; }
say "resident; status:"
sed 's/^/    /' "$work/status"
grep -qx "app-icon: theme" "$work/status" && grep -qx "tray-icon: theme" "$work/status" \
  || { echo "icons not found in the theme"; exit 1; }

# One capture: open it, drag a region, Ctrl+S saves it (quick save) into the save folder.
in_root quillet capture
wait_for 10 grep -qx "session: open" <(in_root quillet status) || { echo "no capture opened"; exit 1; }
DISPLAY=$display xdotool mousemove 200 150 mousedown 1 mousemove 300 220 mousemove 400 300 mouseup 1
DISPLAY=$display xdotool key ctrl+s
saved() { compgen -G "$root/home/user/Pictures/saved/*.png" >/dev/null; }
wait_for 10 saved || { echo "quick save wrote nothing"; cat "$work/stderr"; exit 1; }
png=$(ls "$root"/home/user/Pictures/saved/*.png)
say "captured: $(basename "$png") ($(identify -format '%wx%h' "$png"))"

pid=$(sed -n 's/^pid: //p' "$work/status")
in_root quillet quit
wait_for 10 bash -c "! kill -0 $pid 2>/dev/null" || { echo "did not quit"; exit 1; }
say "quit"

# Removing the package takes its files and leaves the user's settings.
listed=$(chroot "$root" dpkg -L quillet | grep -c '^/usr/.*\.' || true)
chroot "$root" apt-get remove -y -q quillet >/dev/null
left=$(chroot "$root" sh -c 'ls /usr/bin/quillet /usr/share/applications/app.quillet.Quillet.desktop /usr/share/icons/hicolor/*/apps/app.quillet.Quillet* /usr/share/man/man1/quillet.1.gz 2>/dev/null' || true)
[[ -z "$left" ]] || { echo "left behind after removal:"; echo "$left"; exit 1; }
[[ -f "$root/home/user/.config/quillet/quillet.conf" ]] || { echo "removal took the settings"; exit 1; }
say "removed: $listed files gone, settings kept"
say "clean-room check passed"
