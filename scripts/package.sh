#!/usr/bin/env bash
# Sets up, builds and makes the Debian package with CPack: build/package/quillet_VERSION_ARCH.deb.
# Install it with: sudo apt install ./build/package/quillet_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
cpack --config build/CPackConfig.cmake -G DEB -B build/package >/dev/null
ls build/package/quillet_*.deb
