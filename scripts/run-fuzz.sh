#!/usr/bin/env bash
# Runs each fuzz target of a fuzz build tree for a fixed time, one after the other.
# Usage: scripts/run-fuzz.sh <build dir> <seconds> [target...]   (default: every fuzz_* target)
# The seeds in fuzz/corpus/<target>/ are read only; what the run adds goes to
# <build>/fuzz-corpus/<target>/, crashes to <build>/fuzz-artifacts/<target>/, the log to
# <build>/fuzz-logs/<target>.log. Exits non-zero when a target found something.
set -uo pipefail

build=${1:?build dir}
seconds=${2:?seconds}
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for f in "$build"/bin/fuzz_*; do targets+=("$(basename "$f")"); done
fi

failed=0
for t in "${targets[@]}"; do
  corpus="$build/fuzz-corpus/$t"
  artifacts="$build/fuzz-artifacts/$t"
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
  nice -n 10 "$build/bin/$t" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 -rss_limit_mb=1024 \
    -artifact_prefix="$artifacts/" "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
  crashes=$(find "$artifacts" -type f | wc -l)
  echo "$t: exit $rc, ${runs:-?} executions, $crashes artifact(s) in $artifacts"
  [ "$rc" -eq 0 ] || failed=1
done
exit $failed
