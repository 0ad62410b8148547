#!/usr/bin/env bash
# Installs what is missing, builds the plug-in and the `shimmerly` host (Release, no tests), and
# renders the bundled sample picture with the default settings into out/sample-glow.png,
# flattened over a dark grey so that the default white outer glow shows on any viewer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/sample -G Ninja -DCMAKE_BUILD_TYPE=Release -DSHIMMERLY_BUILD_TESTS=OFF \
  -DSHIMMERLY_BUILD_BENCH=OFF > /dev/null
cmake --build build/sample --target shimmerly
mkdir -p out
build/sample/shimmerly render samples/sample.png -o out/sample-glow.png --overwrite \
  --background 202020
echo "Wrote out/sample-glow.png"
