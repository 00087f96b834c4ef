#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while, from the seed corpus in
# fuzz/corpus/<target>; what a run adds to the corpus stays in the build
# folder. Fails when any target crashes, leaks or breaks an invariant; the
# input that did is left in <build>/artifacts.
#   scripts/run-fuzz.sh <build> <seconds per target>
set -euo pipefail
build=$1 seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$build/artifacts"
status=0 runs=0
for seeds in "$here"/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  max_len=8192
  [ "$target" = request_head ] && max_len=70000  # past the longest head accepted
  log="$build/$target.log"
  if "$build/fuzz/fuzz_$target" "$corpus" "$seeds" -max_total_time="$seconds" -max_len=$max_len \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" >"$log" 2>&1; then
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    runs=$((runs + ${executed:-0}))
    echo "fuzz $target: ${executed:-?} runs in ${seconds}s, no finding"
  else
    status=1
    echo "fuzz $target: FAILED (log $log)"
    grep -m5 -E 'ERROR|invariant|SUMMARY|runtime error' "$log" || tail -20 "$log"
  fi
done
echo "fuzz: $runs runs in total"
exit $status
