#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time each, starting from (and adding
# to) a scratch copy of the committed corpus, and prints per target the executions and the edges
# covered when the corpus was loaded and at the end.
# FUZZ_ONLY=<glob> picks targets; FUZZ_TIMEOUT sets the seconds one input may take (default 10).
# FUZZ_MERGE=1 replaces the inputs of each committed corpus that libFuzzer named (by their SHA-1)
# with the fewest inputs, old and new, that cover the same edges. Inputs named by hand, the seeds
# and each fault's regression input, always stay.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
only=${FUZZ_ONLY:-}
merge=${FUZZ_MERGE:-0}
timeout=${FUZZ_TIMEOUT:-10}
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t libraries < <(find "$build" -name 'libquorvel_*.a' | sort)
bash "$here/check-fuzz-instrumentation.sh" "${libraries[@]}"
work="$build/fuzz-work"
mkdir -p "$work"
status=0
while IFS='|' read -r bin corpus dict; do
  [ -n "$bin" ] || continue
  name=${bin#fuzz_}
  if [ -n "$only" ] && [[ "$name" != $only ]]; then continue; fi
  exe=$(find "$build/fuzz" -type f -name "$bin" -perm -u+x | head -1)
  scratch="$work/$name"
  mkdir -p "$scratch" "$corpus"
  log="$work/$name.log"
  options=(-max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1
    -artifact_prefix="$work/$name-")
  [ -n "${dict:-}" ] && options+=(-dict="$dict")
  if "$exe" "${options[@]}" "$scratch" "$corpus" >"$log" 2>&1; then
    execs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || true)
    start=$(grep -E 'INITED' "$log" | grep -oE 'cov: [0-9]+' | head -1 | grep -oE '[0-9]+' || true)
    end=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | grep -oE '[0-9]+' || true)
    printf '%-28s ok   %10s executions in %ss   edges %6s -> %6s\n' "$name" "${execs:-?}" "$seconds" \
      "${start:-?}" "${end:-?}"
    if [ "$merge" = 1 ]; then
      minimal="$work/$name.min"
      rm -rf "$minimal" && mkdir -p "$minimal"
      "$exe" -merge=1 -timeout="$timeout" -rss_limit_mb=2048 "$minimal" "$corpus" "$scratch" >>"$log" 2>&1
      find "$corpus" -maxdepth 1 -type f -regextype egrep ! -regex '.*/[0-9a-f]{40}' -print0 |
        xargs -0 -r sha1sum | while read -r sum _; do rm -f "$minimal/$sum"; done
      find "$corpus" -maxdepth 1 -type f -regextype egrep -regex '.*/[0-9a-f]{40}' -delete
      find "$minimal" -type f -exec cp -t "$corpus" {} +
      printf '%-28s      corpus merged to %s inputs\n' "" "$(find "$corpus" -maxdepth 1 -type f | wc -l)"
    fi
  else
    printf '%-28s FAIL (see %s)\n' "$name" "$log"
    tail -30 "$log"
    status=1
  fi
done < "$build/fuzzers.txt"
exit $status
