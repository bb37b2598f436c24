#!/usr/bin/env bash
# A browser for the end-to-end test: shows the service's link page to a user who approves it, then
# hands the redirect to quorvel:// to the desktop, which starts the app with it.
set -euo pipefail
page=$(curl -fsS "$1")
request=$(printf '%s' "$page" | sed -n 's/.*name="request" value="\([^"]*\)".*/\1/p' | head -n 1)
base=${1%%/app/link*}
callback=$(curl -sS -o /dev/null -D - --data-urlencode "request=$request" --data "decision=approve" \
  "$base/app/link/decision" | tr -d '\r' | sed -n 's/^[Ll]ocation: //p' | head -n 1)
# Bounded: should the hand-over fail, this second program would otherwise stay as the app.
exec timeout -s KILL 120 "$QUORVEL_APP" -- "$callback"
