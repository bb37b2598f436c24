#!/usr/bin/env bash
# Prints line and branch coverage of core/, app/ and cli/ from a coverage build's counters
# (`make coverage` runs the suite first). Branches that only exceptions take, and branches on
# lines with no code of their own, are left out: they are the compiler's, not ours.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-coverage}
gcovr -r . --object-directory "$build" -j "$(nproc)" \
  --filter '^core/' --filter '^app/' --filter '^cli/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --json-summary "$build/coverage.json" >/dev/null
python3 - "$build/coverage.json" <<'PY'
import collections, json, sys
files = json.load(open(sys.argv[1]))["files"]
sums = collections.defaultdict(lambda: [0, 0, 0, 0])
for f in files:
    for key in (f["filename"].split("/")[0], "total"):
        s = sums[key]
        s[0] += f["line_covered"]; s[1] += f["line_total"]
        s[2] += f["branch_covered"]; s[3] += f["branch_total"]
pct = lambda a, b: 100.0 * a / b if b else 0.0
print(f"{'folder':8} {'lines':>18} {'branches':>18}")
for key in ("core", "app", "cli", "total"):
    lc, lt, bc, bt = sums[key]
    print(f"{key + '/' if key != 'total' else key:8} {pct(lc, lt):6.1f}% {lc:5}/{lt:<5} {pct(bc, bt):6.1f}% {bc:5}/{bt:<5}")
PY
