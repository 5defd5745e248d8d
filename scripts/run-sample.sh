#!/usr/bin/env bash
# Installs, builds, makes the sample market when it is missing and runs the main job on it:
# restore, map every window of the market, analyse every security, screen and report.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
mkdir -p data
if [ ! -s data/Market.kbx ]; then
  ./build/vornctl sample --out data/Market.kbx
fi
./build/vornctl info data/Market.kbx
./build/vornctl map data/Market.kbx
./build/vornctl screen data/Market.kbx > data/screening.csv
echo "screening: $(wc -l < data/screening.csv) lines in data/screening.csv"
tail -n 1 data/screening.csv
./build/vornctl report data/Market.kbx --top 20
