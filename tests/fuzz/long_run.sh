#!/bin/sh
# Long fuzzing run of every target, one after the other, from the committed seeds plus
# whatever earlier runs found. Usage, from the repository root after
# `cmake --preset native && cmake --build --preset native`:
#
#     sh tests/fuzz/long_run.sh [runs-per-target] [build-dir]
#
# Default: 2,000,000 executions per target in build/native. Prints each target's figures;
# exits non-zero at the first finding (the input is left in <build-dir>/fuzz-artifacts/).
set -eu
runs=${1:-2000000}
build=${2:-build/native}
here=$(dirname "$0")
status=0
for name in frame switch_value asset_policy console_line input_translate client_decoders; do
  work="$build/fuzz-corpus/$name"
  mkdir -p "$work" "$build/fuzz-artifacts"
  dict=""
  [ -f "$here/$name.dict" ] && dict="-dict=$here/$name.dict"
  start=$(date +%s)
  if "$build/bin/fuzz_$name" -runs="$runs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/fuzz-artifacts/$name-" $dict "$work" "$here/corpus/$name" >"$work.log" 2>&1; then
    result=ok
  else
    result=FINDING
    status=1
  fi
  end=$(date +%s)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log" | tail -n 1)
  cov=$(grep -o 'cov: [0-9]*' "$work.log" | tail -n 1)
  echo "$name: $result, ${execs:-?} executions in $((end - start)) s, $cov, log $work.log"
  [ "$status" -eq 0 ] || exit "$status"
done
