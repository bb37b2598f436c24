#!/usr/bin/env bash
# Real-world HTML nobody here wrote, for the content-processing property test and the
# throughput benchmark: the HTML manuals of Debian's documentation packages.
#   html-corpus.sh            print one HTML file per line (nothing when not installed)
#   html-corpus.sh --install  install the packages first when missing (as root)
# The corpus lives under /usr/share/doc and is never copied into the repository.
set -euo pipefail

packages=(python3.11-doc postgresql-doc-15)
roots=(/usr/share/doc/python3.11/html /usr/share/doc/postgresql-doc-15/html)

if [ "${1:-}" = "--install" ]; then
  missing=()
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "html-corpus: missing ${missing[*]}; run as root to install them" >&2
      exit 1
    fi
    echo "html-corpus: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq >&2
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi
fi

for root in "${roots[@]}"; do
  [ -d "$root" ] || continue
  # Compressed pages stay out: the corpus is what a browser would be handed.
  find -L "$root" -type f \( -name '*.html' -o -name '*.htm' \) -print
done | LC_ALL=C sort
