#!/usr/bin/env bash
# Runs every suite of one build through ctest and prints how many test cases
# passed, from the suites' JUnit-style reports:
#   scripts/run-tests.sh <build> <label> [regular expression of the suites to run]
set -euo pipefail
build=$1 label=$2 only=${3:-}
reports="$build/test-reports"
mkdir -p "$reports"
rm -f "$reports"/*.xml
status=0
ctest --test-dir "$build" --output-on-failure --timeout 600 -j "$(nproc)" ${only:+-R "$only"} || status=$?
tests=0 failures=0 skipped=0
for f in "$reports"/*.xml; do
  [ -f "$f" ] || continue
  head=$(grep -m1 '<testsuites' "$f")
  t=$(sed -n 's/.* tests="\([0-9]*\)".*/\1/p' <<<"$head")
  x=$(sed -n 's/.* failures="\([0-9]*\)".*/\1/p' <<<"$head")
  e=$(sed -n 's/.* errors="\([0-9]*\)".*/\1/p' <<<"$head")
  s=$(grep -c '<skipped' "$f" || true)
  tests=$((tests + ${t:-0})); failures=$((failures + ${x:-0} + ${e:-0})); skipped=$((skipped + ${s:-0}))
done
echo "$label: $((tests - failures - skipped)) passed, $failures failed, $skipped skipped"
exit $status
