#!/usr/bin/env bash
# One command from a fresh Debian machine to a running Tarnwell window. With no
# home site given (--home-site, TARNWELL_HOME_SITE or the user's config file),
# the window starts the lookup service built beside it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh build run
cmake --preset default -DTARNWELL_BUILD_TESTS=OFF -DTARNWELL_BUILD_BENCH=OFF
cmake --build --preset default --target tarnwell tarnwell-site
exec build/default/app/tarnwell "$@"
