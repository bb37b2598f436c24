#!/usr/bin/env bash
# `make demo`: the sample service with its sample library on 127.0.0.1:8787 (or the next free port),
# and the desktop app against it; the service stops when the app closes. Without a display it says so and walks the
# same flow through in the terminal: a link made through the service's own link page, one sync
# with progress, the library tree and a search.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD=${1:-build}
APP="$BUILD/app/quorvel"
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
listening() { curl -s -o /dev/null "http://127.0.0.1:$1/" 2>/dev/null; }
if [ -n "${QUORVEL_DEMO_PORT:-}" ]; then
  PORT=$QUORVEL_DEMO_PORT
  if listening "$PORT"; then
    echo "demo: something already listens on port $PORT; set QUORVEL_DEMO_PORT to another port" >&2
    exit 1
  fi
else
  PORT=8787
  while listening "$PORT"; do
    PORT=$((PORT + 1))
    [ "$PORT" -lt 8887 ] || { echo "demo: no free port from 8787 to 8886; set QUORVEL_DEMO_PORT" >&2; exit 1; }
  done
  [ "$PORT" = 8787 ] || echo "demo: port 8787 is taken, so the sample service uses $PORT"
fi
BASE="http://127.0.0.1:$PORT"

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
  step "Opening the app (sign in with the button; the browser shows the service's link page)"
  echo "The sample service forgets its devices when it stops: an app linked in an earlier demo asks to sign in again."
  # A development build takes the demo's address; one built for another service ignores it.
  QUORVEL_DEV_BASE_URL="$BASE" "$APP" || true
  step "The app closed: stopping the service"
  exit 0
fi
echo "demo: no display here, so the same flow runs in the terminal with quorvel-cli"

step "Linking through the link page"
coproc LINK { cli link 2>/dev/null; }
read -r LINK_URL <&"${LINK[0]}"
echo "link page: $LINK_URL"
CALLBACK=$(bash scripts/approve-link.sh "$LINK_URL" "$BASE")
echo "callback:  ${CALLBACK%%code=*}code=…"
printf '%s\n' "$CALLBACK" >&"${LINK[1]}"
read -r EMAIL <&"${LINK[0]}" || true
wait "$LINK_PID" || { echo "demo: linking failed" >&2; exit 1; }
echo "linked as: $EMAIL"

step "Syncing the library"
cli sync 2> >(tee "$STORE/sync.err" >&2)
wait $! # the tee above
if grep -q '^1 image(s) could not be downloaded' "$STORE/sync.err"; then
  echo "(Expected: the sample library links one image that does not exist, _media/없는-그림.png, to show the placeholder.)"
fi

step "The library"
cli tree --sort name

step "Searching for \"회의\""
cli search 회의 --limit 5

step "Status"
cli status

step "Done: stopping the service and removing the demo library"
