#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each, starting from
# (and adding to) a scratch copy of the committed corpus, and prints the execution counts.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
only=${FUZZ_ONLY:-}
work="$build/fuzz-work"
mkdir -p "$work"
status=0
while IFS='|' read -r bin corpus; do
  [ -n "$bin" ] || continue
  name=${bin#fuzz_}
  if [ -n "$only" ] && [[ "$name" != $only ]]; then continue; fi
  exe=$(find "$build/fuzz" -type f -name "$bin" -perm -u+x | head -1)
  scratch="$work/$name"
  mkdir -p "$scratch" "$corpus"
  log="$work/$name.log"
  if "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$work/$name-" \
      "$scratch" "$corpus" >"$log" 2>&1; then
    execs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)
    [ -n "$execs" ] || execs=$(grep -oE '#[0-9]+' "$log" | tail -1 | tr -d '#')
    printf '%-28s ok   %10s executions in %ss\n' "$name" "${execs:-?}" "$seconds"
  else
    printf '%-28s FAIL (see %s)\n' "$name" "$log"
    tail -30 "$log"
    status=1
  fi
done < "$build/fuzzers.txt"
exit $status
