#!/usr/bin/env bash
# Runs a test program on the display in use, or on a private Xvfb server when there is none. The
# server and the program end together however the run ends (a failure, an abort, ctest's kill):
# both die with this script, and the script ends the server when the program ends.
set -uo pipefail
if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-xvfb.XXXXXX")
mkfifo "$dir/display"
setpriv --pdeathsig KILL Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp \
  3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb=$!
child=""
finish() {
  [ -n "$child" ] && kill -KILL "$child" 2>/dev/null
  kill -TERM "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  rm -rf "$dir"
}
trap finish EXIT
trap 'exit 143' TERM INT HUP

if ! read -r -t 30 number <"$dir/display"; then
  echo "with-display: Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$number"
setpriv --pdeathsig KILL "$@" &
child=$!
wait "$child"
status=$?
child=""
exit "$status"
