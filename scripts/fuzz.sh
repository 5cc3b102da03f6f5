#!/usr/bin/env bash
# Runs the libFuzzer targets (built by the "fuzz" preset) over the committed regression
# corpus tests/fuzz/corpus/<target>/ and then for SECONDS more each, one after the other.
# What a run finds new goes to a working corpus under WORK (default build/fuzz/work), never
# into the committed one; a crashing input is kept there as crash-*. Prints one line per
# target and exits non-zero when any target found a fault.
#   scripts/fuzz.sh [SECONDS] [TARGET...]      TARGET: exports, chains, replies
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(exports chains replies)
work=${VELO_FUZZ_WORK:-$PWD/build/fuzz/work}
failed=0
for target in "${targets[@]}"; do
  binary=build/fuzz/$target/fuzz_$target
  dir=$work/$target
  mkdir -p "$dir/corpus"
  if [ ! -x "$binary" ]; then
    echo "fuzz_$target: not built (cmake --preset fuzz && cmake --build --preset fuzz)"
    failed=1; continue
  fi
  # The target writes its device logs beside itself, so it runs from its own folder.
  "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$dir/" \
    "$dir/corpus" "$PWD/tests/fuzz/corpus/$target" >"$dir/run.log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/run.log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/run.log")
  cov=$(grep -oE 'cov: [0-9]+' "$dir/run.log" | tail -n 1)
  crashes=$(find "$dir" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' | wc -l)
  if [ "$rc" = 0 ]; then
    echo "fuzz_$target: ${runs:-?} runs in ${seconds} s, ${speed:-?} exec/s, ${cov:-cov: ?} edges, no findings"
  else
    echo "fuzz_$target: FAILED (exit $rc, $crashes input(s) kept in $dir; log $dir/run.log)"
    grep -m 5 -E '==== fuzz check failed|ERROR: AddressSanitizer|runtime error|SUMMARY' "$dir/run.log"
    failed=1
  fi
done
exit $failed
