#!/usr/bin/env bash
# Builds the optimised preset and runs every benchmark; each prints `name: value` lines.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" >/dev/null
for b in build/default/bench/*_bench; do
  echo "# $(basename "$b")"
  "$b"
done
