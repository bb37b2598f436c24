#!/usr/bin/env bash
# What a browser does with the sample service's link page: loads it, presses its approve button and
# follows the redirect back. Prints the callback address the program waits for.
#   scripts/approve-link.sh LINK_PAGE_URL BASE_URL
set -euo pipefail
page=$(curl -fsS "$1")
request=$(printf '%s' "$page" | sed -n 's/.*name="request" value="\([^"]*\)".*/\1/p' | head -n 1)
curl -sS -o /dev/null -D - --data-urlencode "request=$request" --data "decision=approve" "$2/app/link/decision" |
  tr -d '\r' | sed -n 's/^[Ll]ocation: //p' | head -n 1
