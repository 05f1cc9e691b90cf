#!/usr/bin/env bash
# setup.sh [GROUP...]: installs the Debian packages that Tarnwell needs, those
# of the groups named (all of them without any), asking apt only for those
# that are missing. The groups:
#   build  building the window, the service and their Debian packages
#   run    what the window and the service use as they run
#   test   the tests, benchmarks and fuzz targets: their libraries, the
#          servers they start on loopback, and Debian's package checks
set -euo pipefail

build=(
  cmake ninja-build g++ pkg-config dpkg-dev file
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev
  libboost1.81-dev libboost-program-options1.81-dev libc-ares-dev libidn2-dev libssl-dev nlohmann-json3-dev
  libunistring-dev libuchardet-dev
  libpsl-dev libhiredis-dev libsqlite3-dev libpq-dev
)
run=(
  libqt6svg6 qt6-translations-l10n fonts-liberation2 publicsuffix ca-certificates
)
test=(
  libgtest-dev libseccomp-dev libcurl4-openssl-dev
  nginx-light haproxy tinyproxy squid unbound redis-server prometheus
  bind9-dnsutils iproute2 nmap iputils-ping iputils-tracepath nftables
  postgresql sqlite3 jq python3-jsonschema
  clang-14 libclang-rt-14-dev ccache
  xvfb xauth openbox libxtst-dev imagemagick poppler-utils
  lintian appstream desktop-file-utils systemd curl
  wrk
)

[ $# -gt 0 ] || set -- build run test
packages=()
for group in "$@"; do
  case $group in
    build) packages+=("${build[@]}") ;;
    run) packages+=("${run[@]}") ;;
    test) packages+=("${test[@]}") ;;
    *) echo "setup.sh: no group '$group' (build, run, test)" >&2; exit 2 ;;
  esac
done

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
