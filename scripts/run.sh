#!/usr/bin/env bash
# One command from a fresh Debian machine to a running Tarnwell window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default -DTARNWELL_BUILD_TESTS=OFF -DTARNWELL_BUILD_BENCH=OFF
cmake --build --preset default --target tarnwell
exec build/default/app/tarnwell "$@"
