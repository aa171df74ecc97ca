#!/usr/bin/env bash
# Sets up, builds and runs every test: the headless unit tests, then the end-to-end tests on
# private Xvfb servers they start themselves.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/build.sh
cd build
ctest --output-on-failure --timeout 1500 "$@"
