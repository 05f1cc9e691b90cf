#!/usr/bin/env bash
# One command from a fresh Debian machine to every test: the fuzz targets for
# a bounded time each, then the test suite in an optimised build and again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the Debian
# packages, checked by Debian's tools and run from where they unpack.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp"
# Four builds of one tree: the compiler cache serves what an earlier run, in
# this clone or another, already compiled.
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
# The tests talk to loopback only. As root they run in a network namespace that
# holds nothing else, so a stray lookup fails at once instead of leaving the machine.
isolated() {
  if [ "$(id -u)" -eq 0 ]; then
    unshare -n sh -c 'ip link set lo up && exec "$@"' sh "$@"
  else
    "$@"
  fi
}
status=0
for preset in fuzz default asan package; do
  echo "=== preset $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$(nproc)"
  isolated ctest --preset "$preset" -j 2 || status=1
done
exit $status
