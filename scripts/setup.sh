#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarnwell need,
# asking apt only for those that are missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev
  libgtest-dev
  nginx-light tinyproxy squid
  libboost1.81-dev libboost-program-options1.81-dev libc-ares-dev libidn2-dev libssl-dev nlohmann-json3-dev
  libpsl-dev publicsuffix
  unbound bind9-dnsutils iproute2 nmap libqt6svg6
  libcurl4-openssl-dev
  redis-server libhiredis-dev prometheus
  clang-14 libclang-rt-14-dev
  xvfb xauth openbox libxtst-dev imagemagick fonts-liberation2 poppler-utils
  qt6-translations-l10n
  lintian appstream desktop-file-utils systemd curl
  wrk
  iputils-ping iputils-tracepath nftables
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
