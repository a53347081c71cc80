#!/usr/bin/env bash
# Builds the libraries and runs the demo; pictures and reports go to out/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TARNIX_BUILD_DIR:-build/release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target tarnix_demo
mkdir -p out
"$build/examples/tarnix_demo" out
