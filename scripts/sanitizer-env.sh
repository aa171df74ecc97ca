# Sourced by the scripts that run sanitized programs: `source scripts/sanitizer-env.sh DIR`.
# The suppressions live in one file, tests/sanitizer.supp, but each sanitizer refuses a file
# that holds another's kinds of entry, so they are split by kind into DIR first. Any finding
# stops the program with an error.
sanitizer_supp=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/sanitizer.supp
mkdir -p "${1:?a folder for the split suppressions}"
sanitizer_dir=$(cd "$1" && pwd)
asan_kinds='^(interceptor_name|interceptor_via_fun|interceptor_via_lib|odr_violation):'
grep -E '^leak:' "$sanitizer_supp" >"$sanitizer_dir/lsan.supp" || true
grep -E "$asan_kinds" "$sanitizer_supp" >"$sanitizer_dir/asan.supp" || true
grep -vE "^(#|leak:|\$)" "$sanitizer_supp" | grep -vE "$asan_kinds" >"$sanitizer_dir/ubsan.supp" || true
export ASAN_OPTIONS=suppressions=$sanitizer_dir/asan.supp:detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$sanitizer_dir/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=suppressions=$sanitizer_dir/ubsan.supp:print_stacktrace=1:halt_on_error=1
unset asan_kinds
