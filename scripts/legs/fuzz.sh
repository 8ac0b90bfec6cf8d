#!/usr/bin/env bash
# Runs the libFuzzer target on the name display for a while (60 s by
# default; longer with an argument or FUZZ_SECONDS, e.g.
# `FUZZ_SECONDS=600 bash scripts/legs/fuzz.sh`).
# Any finding fails the leg; its input is kept in build/fuzz/artifacts/.
# An input that runs over 60 s is a finding (a hang); a run that outlasts
# its time by 5 minutes is stopped and fails the leg.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/legs/need.sh
need_packages cmake ninja-build clang-14 libclang-rt-14-dev

seconds=${1:-${FUZZ_SECONDS:-60}}
cmake --preset fuzz
cmake --build --preset fuzz

mkdir -p build/fuzz/artifacts
status=0
for target in fuzz_display_name; do
  # Runs grow a corpus of their own, seeded from the committed one.
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  cp -n "fuzz/corpus/$target/"* "$corpus/"
  log="build/fuzz/$target.log"
  echo "fuzzing $target for ${seconds}s"
  if limited $((seconds + 300)) "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 \
       -artifact_prefix="build/fuzz/artifacts/$target-" "$corpus" </dev/null >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$target: ${execs:-?} executions, no finding"
  else
    status=1
    echo "$target: FINDING (log: $log)"
    tail -n 40 "$log"
  fi
done
exit "$status"
