#!/usr/bin/env bash
# The .deb as a user gets it: installed with apt on a clean Debian 12 (a debootstrap chroot, made
# when missing), then used as an ordinary user. The programs' help and versions, the manuals, the
# completions of bash, zsh and fish, quorvel-cli linked and synced against the sample service, both
# desktop search interfaces over a session bus, and a result opened, which starts the app with the
# document's link under Xvfb. The chroot's own tools (xvfb, dbus, gdbus, man, the shells) are what a
# desktop has; the package brings none of them.
#
#   scripts/package-check.sh DEB [CHROOT] [BUILD]    (as root; BUILD holds the sample service)
set -euo pipefail
cd "$(dirname "$0")/.."

DEB=$(realpath "${1:?usage: package-check.sh DEB [CHROOT] [BUILD]}")
ROOT=$(realpath -m "${2:-build-package/chroot}")
BUILD=${3:-build}
SERVICE="$BUILD/service/quorvel-sample-service"
[ "$(id -u)" = 0 ] || { echo "package-check: run as root (debootstrap and chroot)" >&2; exit 1; }
[ -x "$SERVICE" ] || { echo "package-check: $SERVICE is missing; build first" >&2; exit 1; }

if [ ! -x "$ROOT/usr/bin/apt-get" ]; then
  echo "package-check: making a clean Debian 12 in $ROOT"
  debootstrap --variant=minbase bookworm "$ROOT" http://deb.debian.org/debian >/dev/null
fi

mounted=()
cleanup() {
  [ -n "${SERVICE_PID:-}" ] && kill "$SERVICE_PID" 2>/dev/null || true
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -R -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
# Recursive, so that /dev/shm and /dev/pts come along: the web engine needs the first.
for fs in proc sys dev; do
  mountpoint -q "$ROOT/$fs" || { mount --rbind "/$fs" "$ROOT/$fs" && mounted+=("$ROOT/$fs"); }
done
mkdir -p "$ROOT/tmp" && chmod 1777 "$ROOT/tmp"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
in_root() { chroot "$ROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }
as_user() { chroot --userspec=reader:reader "$ROOT" env -i PATH=/usr/bin:/bin HOME=/home/reader LANG=C.UTF-8 "$@"; }
step() { printf '\n== %s\n' "$*"; }

step "apt install ./$(basename "$DEB") on a clean Debian 12"
cp "$DEB" "$ROOT/tmp/quorvel.deb"
in_root apt-get update -qq
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
  xvfb xauth dbus libglib2.0-bin man-db bash-completion zsh fish curl procps >/dev/null
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/quorvel.deb >/dev/null
in_root dpkg -s quorvel | sed -n 's/^\(Version\|Depends\|Recommends\): /  \1: /p'
in_root id reader >/dev/null 2>&1 || in_root useradd -m -s /bin/bash reader

step "Versions, help and manuals"
as_user quorvel --version
as_user quorvel-cli --version
as_user quorvel --help | head -n 3
as_user quorvel-cli --help | head -n 3
for page in quorvel quorvel-cli quorvel-search-provider; do
  printf '  man %-24s %s\n' "$page" "$(as_user man -P cat "$page" 2>/dev/null | sed -n '4p' | tr -s ' ')"
done

step "Completions"
printf '  bash: %s\n' "$(as_user bash -c 'source /usr/share/bash-completion/bash_completion
  _completion_loader quorvel-cli; f=$(complete -p quorvel-cli | sed "s/.*-F \([^ ]*\).*/\1/")
  COMP_WORDS=(quorvel-cli se); COMP_CWORD=1; COMP_LINE="quorvel-cli se"; COMP_POINT=14
  "$f" quorvel-cli se quorvel-cli; echo "${COMPREPLY[*]}"')"
printf '  zsh:  %s\n' "$(as_user zsh -fc 'autoload -U compinit && compinit -u -d /tmp/zcomp && print ${_comps[quorvel-cli]}')"
printf '  fish: %s\n' "$(as_user fish -c 'complete -C "quorvel-cli se"' | tr '\t\n' ' ;')"

step "quorvel-cli linked and synced against the sample service"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
BASE="http://127.0.0.1:$PORT"
"$SERVICE" --port "$PORT" --library service/sample-library >/dev/null 2>&1 &
SERVICE_PID=$!
for _ in $(seq 1 100); do curl -s -o /dev/null "$BASE/" && break; sleep 0.1; done
coproc LINK { as_user quorvel-cli --base-url "$BASE" link 2>/dev/null; }
read -r LINK_URL <&"${LINK[0]}"
CALLBACK=$(bash scripts/approve-link.sh "$LINK_URL" "$BASE")
printf '%s\n' "$CALLBACK" >&"${LINK[1]}"
read -r EMAIL <&"${LINK[0]}" || true
wait "$LINK_PID"
echo "  linked as $EMAIL"
as_user quorvel-cli --base-url "$BASE" sync 2>/dev/null | tail -n 1
as_user quorvel-cli --base-url "$BASE" status | head -n 4

step "Desktop search over a session bus, the provider started by D-Bus activation"
cat >"$ROOT/tmp/search.sh" <<'EOF'
set -eu
# A display first, and the bus told of it as a desktop session does, so that what the bus starts
# (the provider, and the app it opens) finds it. -fbdir leaves the screen in a file to look at.
Xvfb :77 -nolisten tcp -screen 0 1100x700x24 -fbdir /tmp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:77
for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X77 ] && break; sleep 0.1; done
dbus-update-activation-environment DISPLAY
gnome() { gdbus call --session --dest kr.vatsu.quorvel.SearchProvider --object-path /kr/vatsu/quorvel/SearchProvider \
  --method "org.gnome.Shell.SearchProvider2.$@"; }
ids=$(gnome GetInitialResultSet "['보고서']")
echo "  GNOME GetInitialResultSet 보고서: $ids"
first=$(printf '%s' "$ids" | sed -n "s/^(\['\([^']*\)'.*/\1/p")
echo "  GNOME GetResultMetas: $(gnome GetResultMetas "['$first']" | cut -c 1-300)"
echo "  KRunner Match 보고서: $(gdbus call --session --dest kr.vatsu.quorvel.SearchProvider \
  --object-path /kr/vatsu/quorvel/KRunner --method org.kde.krunner1.Match '보고서' | cut -c 1-300)"
# Choosing the result starts the app with the document's link.
gnome ActivateResult "'$first'" "['보고서']" 0 >/dev/null
for _ in $(seq 1 100); do pgrep -x quorvel >/dev/null && break; sleep 0.1; done
sleep 6
echo "  started: $(ps -o args= -C quorvel | head -n 1)"
cp /tmp/Xvfb_screen0 /tmp/activated.xwd
pkill -x quorvel || true
kill $xvfb
EOF
as_user dbus-run-session -- bash /tmp/search.sh
mkdir -p build-package
if convert "xwd:$ROOT/tmp/activated.xwd" build-package/package-check-activated.png 2>/dev/null; then
  echo "  the screen after the result was chosen: build-package/package-check-activated.png"
fi
echo
echo "package-check: all steps passed"
