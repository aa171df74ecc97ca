#!/usr/bin/env bash
# The man page formats without a single groff or man warning (the check lintian runs) and passes
# mandoc's linter.
set -euo pipefail
page=$1
out=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
if [[ -n "$out" ]]; then
  echo "$out"
  exit 1
fi
# mandoc's linter catches structure groff formats silently: bad macro order, missing sections.
lint=$(mandoc -T lint -W warning "$page" 2>&1) || { echo "$lint"; exit 1; }
# Every subcommand the program knows is documented.
for word in capture pin ocr settings quit status QUILLET_SNAPSHOT quillet.conf autostart "EXIT STATUS"; do
  grep -q -- "$word" "$page" || { echo "man page does not mention $word"; exit 1; }
done
