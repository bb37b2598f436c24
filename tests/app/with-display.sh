#!/usr/bin/env bash
# Runs a test program on the display in use, or on a private Xvfb server when there is none.
set -euo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" "$@"
