#!/usr/bin/env bash
# Installs every package the build, the tests and the application need (Debian 12, as root).
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  libcurl4-openssl-dev libmspack-dev libgcab-dev libicu-dev libxxhash-dev libcpp-httplib-dev
  nlohmann-json3-dev zlib1g-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  qt6-translations-l10n
  # The desktop smoke test: a virtual X server, a window manager, key and mouse events and
  # screenshots.
  xvfb openbox xdotool scrot
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
