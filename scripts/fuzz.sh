#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) into build-fuzz/ and runs each for SECONDS (default 60)
# on its committed seeds plus what earlier runs found. A crash, a leak, an input that takes over
# a second or memory past the bound stops that target, keeps the input under
# build-fuzz/artifacts/ and makes the script fail. Prints executions per second per target.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
all=(shortcut_data prefs_file command_line instance_protocol outside_image text_pin)

[[ $# -gt 0 ]] && targets=("$@") || targets=("${all[@]}")

jobs=$(nproc 2>/dev/null || echo 2)
CXX=${FUZZ_CXX:-clang++} cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUILLET_FUZZ=ON -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j "$jobs"

source scripts/sanitizer-env.sh build-fuzz/sanitizer
export QT_QPA_PLATFORM=offscreen

# Texts and images are cut or refused past limits far beyond libFuzzer's default 4 KiB input.
max_len() {
  case $1 in
    text_pin | outside_image) echo 65536 ;;
    *) echo 4096 ;;
  esac
}

failed=()
summary=()
for t in "${targets[@]}"; do
  work=build-fuzz/corpus/$t
  artifacts=build-fuzz/artifacts/$t/
  mkdir -p "$work" "$artifacts"
  log=build-fuzz/fuzz-$t.log
  echo "== $t: ${seconds} s"
  start=$(date +%s)
  status=0
  build-fuzz/fuzz/fuzz_"$t" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$work" "fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  took=$(($(date +%s) - start))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  summary+=("$(printf '%-18s %4ss %10s runs %7s exec/s  %s' "$t" "$took" "${runs:-?}" \
    "${rate:-?}" "$([[ $status -eq 0 ]] && echo clean || echo "FAILED ($status)")")")
  if [[ $status -ne 0 ]]; then
    failed+=("$t")
    grep -E "ERROR|SUMMARY|check failed|Test unit written" "$log" | head -20 || true
  fi
done

printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (logs: build-fuzz/fuzz-<target>.log)" >&2
  exit 1
fi
