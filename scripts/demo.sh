#!/usr/bin/env bash
# `make demo`: the sample service with its sample library on 127.0.0.1:8787, and the desktop app
# against it; the service stops when the app closes. Without a display it says so and walks the
# same flow through in the terminal: a link made through the service's own link page, one sync
# with progress, the library tree and a search.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${1:-build}
PORT=${QUORVEL_DEMO_PORT:-8787}
APP="$BUILD/app/quorvel"
BASE="http://127.0.0.1:$PORT"
SERVICE="$BUILD/service/quorvel-sample-service"
CLI="$BUILD/cli/quorvel-cli"
STORE=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-demo.XXXXXX")
SERVICE_PID=""

cleanup() {
  if [ -n "$SERVICE_PID" ]; then kill "$SERVICE_PID" 2>/dev/null || true; wait "$SERVICE_PID" 2>/dev/null || true; fi
  rm -rf "$STORE"
}
trap cleanup EXIT

for f in "$SERVICE" "$CLI"; do
  [ -x "$f" ] || { echo "demo: $f is missing; run make demo (it builds first)" >&2; exit 1; }
done
if curl -s -o /dev/null "$BASE/" 2>/dev/null; then
  echo "demo: something already listens on port $PORT; set QUORVEL_DEMO_PORT to another port" >&2
  exit 1
fi

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
cli() { "$CLI" --store "$STORE" --base-url "$BASE" "$@"; }

step "Starting the sample service on $BASE"
"$SERVICE" --port "$PORT" --library service/sample-library &
SERVICE_PID=$!
for _ in $(seq 1 100); do
  curl -s -o /dev/null "$BASE/" && break
  kill -0 "$SERVICE_PID" 2>/dev/null || { echo "demo: the service did not start" >&2; exit 1; }
  sleep 0.1
done

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$APP" ]; then
  if [ "$PORT" != 8787 ]; then
    echo "demo: the app is built for http://127.0.0.1:8787; QUORVEL_DEMO_PORT only moves the terminal walk-through" >&2
  else
    step "Opening the app (sign in with the button; the browser shows the service's link page)"
    echo "The sample service forgets its devices when it stops: an app linked in an earlier demo asks to sign in again."
    "$APP" || true
    step "The app closed: stopping the service"
    exit 0
  fi
fi
echo "demo: no display here, so the same flow runs in the terminal with quorvel-cli"

step "Linking through the link page"
coproc LINK { cli link 2>/dev/null; }
read -r LINK_URL <&"${LINK[0]}"
echo "link page: $LINK_URL"
# What a browser does: load the page, press its approve button, and follow the redirect back.
PAGE=$(curl -fsS "$LINK_URL")
REQUEST=$(printf '%s' "$PAGE" | sed -n 's/.*name="request" value="\([^"]*\)".*/\1/p' | head -n 1)
CALLBACK=$(curl -sS -o /dev/null -D - --data-urlencode "request=$REQUEST" --data "decision=approve" \
  "$BASE/app/link/decision" | tr -d '\r' | sed -n 's/^[Ll]ocation: //p' | head -n 1)
echo "callback:  ${CALLBACK%%code=*}code=…"
printf '%s\n' "$CALLBACK" >&"${LINK[1]}"
read -r EMAIL <&"${LINK[0]}" || true
wait "$LINK_PID" || { echo "demo: linking failed" >&2; exit 1; }
echo "linked as: $EMAIL"

step "Syncing the library"
cli sync

step "The library"
cli tree --sort name

step "Searching for \"회의\""
cli search 회의 --limit 5

step "Status"
cli status

step "Done: stopping the service and removing the demo library"
