#!/usr/bin/env bash
# Installs every Debian package the project needs (core, tests, benchmarks, fuzzing,
# the sample service and the Qt application). Idempotent: does nothing when all are present.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git clang clang-format libclang-rt-14-dev
  # core
  libcurl4-openssl-dev nlohmann-json3-dev libssl-dev libicu-dev libsqlite3-dev
  # sample service
  libcpp-httplib-dev
  # tests, benchmarks, peers
  googletest libgtest-dev libgmock-dev libbenchmark-dev libgumbo-dev ripgrep curl sqlite3
  # application
  qt6-base-dev qt6-webengine-dev qt6-svg-dev libqt6svg6 qt6-translations-l10n qcoro-qt6-dev xvfb xauth fonts-noto-cjk
  libfontconfig-dev
  dbus-x11
  # desktop integration checks, the .deb, and driving the real program in the end-to-end test
  desktop-file-utils appstream dpkg-dev xdotool
  # the shells whose completion scripts the tests run, and the .deb's own check
  zsh fish lintian
  # make coverage
  gcovr
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these Debian packages are missing: ${missing[*]}" >&2
  echo "install-deps: run this script as root (sudo bash scripts/install-deps.sh) to install them." >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
