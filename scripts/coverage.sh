#!/usr/bin/env bash
# Line coverage of src/ over the headless and end-to-end passes: builds with gcc's --coverage into
# build-coverage/, runs the unit and e2e tests there, and writes the report to
# build-coverage/coverage/ (summary.txt with a line per file, coverage.json for comparing two
# runs, index.html to browse). Arguments go to ctest.
#   scripts/coverage.sh [CTEST ARGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --test
scripts/setup.sh --coverage
jobs=$(nproc 2>/dev/null || echo 2)
out=build-coverage
# -O0 keeps every line its own counter; the tests' timeouts are generous enough for it.
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Debug -DQUILLET_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="--coverage -O0" -DCMAKE_C_FLAGS="--coverage -O0" \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage >/dev/null
cmake --build "$out" -j "$jobs" --target quillet quillet_unit_tests quillet_e2e_tests
# Counters from an earlier run would be added to this one's.
find "$out" -name '*.gcda' -delete
status=0
(cd "$out" && ctest --output-on-failure --timeout 1500 -L 'unit|e2e' "$@") || status=$?

report=$out/coverage
rm -rf "$report" && mkdir -p "$report"
gcovr --root . --object-directory "$out" --filter 'src/' --exclude-unreachable-branches \
  --gcov-ignore-parse-errors \
  --txt "$report/summary.txt" --json-summary "$report/coverage.json" \
  --html-details "$report/index.html" --print-summary
echo "report: $report/summary.txt"
exit $status
