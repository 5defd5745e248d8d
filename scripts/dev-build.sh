#!/usr/bin/env bash
# Incremental build of the given targets in a shared tree, one build at a time:
#   scripts/dev-build.sh [--asan] TARGET...
# Several people (or agents) working in one checkout can call it concurrently.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
extra=()
if [ "${1:-}" = "--asan" ]; then
  dir=build-asan
  extra=(-DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=ON -DVORN_BENCH=OFF)
  shift
fi
exec 9>"/tmp/vorn-$(echo "$PWD/$dir" | md5sum | cut -c1-8).lock"
flock 9
[ -f "$dir/build.ninja" ] || cmake -S . -B "$dir" -G Ninja "${extra[@]}" >/dev/null
if [ $# -eq 0 ]; then
  cmake --build "$dir" -j 2
else
  cmake --build "$dir" -j 2 --target "$@"
fi
