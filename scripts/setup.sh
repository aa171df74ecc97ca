#!/usr/bin/env bash
# Installs what Quillet needs on Debian 12: build tools, Qt 6, xcb, the PNG encoder, and
# (with --test) what the end-to-end tests drive (Xvfb, xdotool, xclip, openbox, xrandr, the
# AT-SPI bus and its Python bindings, a headless sway with grim and Qt's Wayland platform) and the
# packaging checks (desktop-file-validate, appstreamcli, lintian, man) and the OCR that checks a
# mosaic hides its words (tesseract), and GNOME's shortcut schemas with gsettings; with --clean-room what scripts/package-check.sh needs to
# make a fresh Debian root; with --coverage the coverage report's tool (scripts/coverage.sh).
set -euo pipefail

want=(build-essential cmake pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6opengl6-dev
      libxcb1-dev libxcb-keysyms1-dev libxcb-shm0-dev libxcb-damage0-dev libxcb-xtest0-dev libxcb-xfixes0-dev libxcb-randr0-dev
      libxkbcommon-dev libxkbcommon-x11-dev libdeflate-dev libwayland-dev libtesseract-dev
      fonts-noto-cjk tesseract-ocr-chi-sim tesseract-ocr-eng fonts-material-design-icons-iconfont libgl-dev qt6-qpa-plugins qt6-translations-l10n dpkg-dev)
if [[ "${1:-}" == "--test" ]]; then
  want+=(libgtest-dev googletest libbenchmark-dev libxcb-res0-dev
         xvfb xauth xdotool xclip openbox x11-xserver-utils x11-utils imagemagick xcompmgr trayer
         desktop-file-utils appstream lintian man-db mandoc
         dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
         sway swaybg grim wl-clipboard wtype qt6-wayland
         xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk pipewire
         clang libclang-rt-14-dev
         tesseract-ocr tesseract-ocr-eng tesseract-ocr-chi-sim fonts-dejavu-core
         libglib2.0-bin gnome-settings-daemon-common)
fi
if [[ "${1:-}" == "--coverage" ]]; then
  want+=(gcovr)
fi
if [[ "${1:-}" == "--clean-room" ]]; then
  want+=(mmdebstrap)
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [[ $(id -u) -ne 0 ]] && sudo="sudo"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
