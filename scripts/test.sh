#!/usr/bin/env bash
# Sets up, builds and runs the tests: the headless unit tests, then the end-to-end tests on
# private Xvfb servers they start themselves. That plain pass is the default, a few minutes.
# With --ci (what .ci/run uses) the unit and end-to-end tests run again, built with the address
# and undefined-behaviour sanitizers into build-asan/ (QUILLET_SANITIZED=0 skips that pass), and
# any finding fails the run; last, each fuzz target for QUILLET_FUZZ_SECONDS (default 60; 0
# skips). Other arguments go to ctest in every test pass.
#   scripts/test.sh [--ci] [CTEST ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
ci=0
if [[ ${1:-} == --ci ]]; then
  ci=1
  shift
fi
scripts/setup.sh --test
scripts/build.sh
(cd build && ctest --output-on-failure --timeout 1500 "$@")
((ci)) || exit 0

fuzz() {
  local seconds=${QUILLET_FUZZ_SECONDS:-60}
  [[ $seconds == 0 ]] || scripts/fuzz.sh "$seconds"
}

if [[ ${QUILLET_SANITIZED:-1} == 0 ]]; then
  fuzz
  exit 0
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_SANITIZE=ON \
  -DQUILLET_BENCH=OFF >/dev/null
cmake --build build-asan -j "$jobs" --target quillet quillet_unit_tests quillet_e2e_tests
source scripts/sanitizer-env.sh build-asan/sanitizer
# The programs the end-to-end tests start report into files, not into a test's output: a
# finding in the resident program fails the pass even when the test itself did not notice.
reports=$PWD/build-asan/sanitizer/reports
rm -rf "$reports" && mkdir -p "$reports"
export ASAN_OPTIONS=$ASAN_OPTIONS:log_path=$reports/asan
export UBSAN_OPTIONS=$UBSAN_OPTIONS:log_path=$reports/ubsan
status=0
(cd build-asan && ctest --output-on-failure --timeout 1500 -L 'unit|e2e' "$@") || status=$?
if compgen -G "$reports/*" >/dev/null; then
  echo "sanitizer findings:" >&2
  for f in "$reports"/*; do
    echo "== $f" >&2
    head -60 "$f" >&2
  done
  status=1
fi
fuzz || status=1
exit $status
