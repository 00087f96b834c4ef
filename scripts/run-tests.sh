#!/usr/bin/env bash
# Runs every suite of one build through ctest and prints how many test cases passed.
set -euo pipefail
build=$1 label=$2
reports="$build/test-reports"
rm -f "$reports"/*.xml
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=$?
tests=0 failures=0
for f in "$reports"/*.xml; do
  [ -f "$f" ] || continue
  head=$(grep -m1 '<testsuites' "$f")
  t=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$head")
  x=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$head")
  tests=$((tests + ${t:-0})); failures=$((failures + ${x:-0}))
done
echo "== $label tests: $tests cases, $failures failed =="
exit $status
