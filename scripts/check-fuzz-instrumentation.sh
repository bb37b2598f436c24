#!/usr/bin/env bash
# Fails when an object of a fuzz build's libraries carries no coverage counters: libFuzzer would
# then see only its harness and mutate blindly. Every member that defines code must reference the
# sanitizer coverage runtime (inline counters or comparison hooks).
set -euo pipefail
nm=$(command -v llvm-nm || command -v nm)
status=0
for archive in "$@"; do
  report=$("$nm" -A "$archive" 2>/dev/null | awk '
    { split($1, p, ":"); member = p[2] }
    $(NF-1) ~ /^[TtW]$/ { code[member] = 1 }
    /__sancov_gen_|__sanitizer_cov_/ { cov[member] = 1 }
    END {
      for (m in code) { total++; if (!(m in cov)) { bare++; print "  not instrumented: " m } }
      printf "%d %d\n", total, bare
    }')
  counts=$(tail -1 <<<"$report")
  read -r total bare <<<"$counts"
  if [ "${total:-0}" -eq 0 ] || [ "${bare:-0}" -ne 0 ]; then
    echo "no coverage instrumentation in $(basename "$archive") (${bare:-?} of ${total:-0} objects):"
    head -n -1 <<<"$report"
    status=1
  fi
done
[ $status -eq 0 ] && echo "coverage instrumentation: $# libraries checked"
exit $status
