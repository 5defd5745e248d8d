#!/usr/bin/env bash
# Installs, builds, makes the sample market when it is missing and runs the main job on it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
mkdir -p data
if [ ! -s data/Market.kbx ]; then
  ./build/vornctl sample --out data/Market.kbx
fi
./build/vornctl info data/Market.kbx
