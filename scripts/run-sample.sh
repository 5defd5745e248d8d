#!/usr/bin/env bash
# Installs, builds and runs the whole chain on the sample market: the sample market is
# published as a matrix server tree and served on 127.0.0.1; the application starts against
# that server (a first run downloads a package through the package choice). Without a
# display the same start-up runs headless and a screenshot of the main window is written.
# Afterwards the batch job maps, screens and reports the market the client holds.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
ctl=./build/vornctl
mkdir -p data
if [ ! -s data/Market.kbx ]; then
  "$ctl" sample --out data/Market.kbx
fi
"$ctl" info data/Market.kbx

rm -rf data/server
"$ctl" publish --matrix data/Market.kbx --out data/server
"$ctl" serve data/server --port 0 > data/serve.log 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  grep -q "serving" data/serve.log 2>/dev/null && break
  sleep 0.1
done
host=$(sed -n 's/^serving .* on \(127\.0\.0\.1:[0-9]*\)$/\1/p' data/serve.log)
[ -n "$host" ] || { cat data/serve.log; exit 1; }
echo "matrix server on $host"

mkdir -p data/client
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  ./build/vorn --data-dir data/client --server "$host"
else
  "$ctl" startup --data-dir data/client --server "$host" --years 3
  ./build/vorn --data-dir data/client --server "$host" --screenshot data/vorn.png
  echo "no display: the main window was saved as data/vorn.png"
fi

matrix=data/client/Market.kbx
"$ctl" map "$matrix"
"$ctl" screen "$matrix" > data/screening.csv
echo "screening: $(wc -l < data/screening.csv) lines in data/screening.csv"
tail -n 1 data/screening.csv
"$ctl" report "$matrix" --top 20
