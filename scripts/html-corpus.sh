#!/usr/bin/env bash
# Real-world HTML nobody here wrote, for the content-processing property test and the
# throughput benchmark: the HTML manuals of Debian's documentation packages.
#   html-corpus.sh          print one HTML file per line (nothing when there is no corpus)
#   html-corpus.sh --fetch  download the packages first when the cache lacks them
# The packages are fetched with `apt-get download` and unpacked with `dpkg-deb -x` into a cache
# directory (QUORVEL_HTML_CORPUS_CACHE, else ~/.cache/quorvel/html-corpus): no root, and nothing
# on the installed system changes. Copies already installed under /usr/share/doc are used as
# they are. The corpus is never copied into the repository.
set -euo pipefail

packages=(python3.11-doc postgresql-doc-15)
docs=(python3.11/html postgresql-doc-15/html)
cache="${QUORVEL_HTML_CORPUS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel/html-corpus}"

if [ "${1:-}" = "--fetch" ] || [ "${1:-}" = "--install" ]; then
  for i in "${!packages[@]}"; do
    p="${packages[$i]}"
    [ -d "/usr/share/doc/${docs[$i]}" ] && continue
    [ -f "$cache/$p/.unpacked" ] && continue
    mkdir -p "$cache/debs" "$cache/$p"
    echo "html-corpus: fetching $p into $cache" >&2
    if ! (cd "$cache/debs" && apt-get download -qq "$p" >&2); then
      echo "html-corpus: could not download $p (is the package list up to date?)" >&2
      continue
    fi
    deb=$(ls -t "$cache/debs/${p}_"*.deb 2>/dev/null | head -n 1)
    [ -n "$deb" ] || continue
    rm -rf "$cache/$p" && mkdir -p "$cache/$p"
    dpkg-deb -x "$deb" "$cache/$p" && touch "$cache/$p/.unpacked" && rm -f "$deb"
  done
fi

for i in "${!packages[@]}"; do
  for root in "/usr/share/doc/${docs[$i]}" "$cache/${packages[$i]}/usr/share/doc/${docs[$i]}"; do
    [ -d "$root" ] || continue
    # Compressed pages stay out: the corpus is what a browser would be handed.
    find -L "$root" -type f \( -name '*.html' -o -name '*.htm' \) -print 2>/dev/null
    break
  done
done | LC_ALL=C sort
