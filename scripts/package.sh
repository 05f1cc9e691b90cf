#!/usr/bin/env bash
# One command from a fresh Debian machine to the two Debian packages,
# tarnwell and tarnwell-site, in build/package/packages/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build
cmake --preset package
cmake --build --preset package -j "$(nproc)"
cpack --preset package
ls build/package/packages/*.deb
