#!/usr/bin/env bash
# Builds and runs every test: a RelWithDebInfo build, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, and the find_package consumer project.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
build=${TARNIX_BUILD_DIR:-build/release}
asan=${TARNIX_ASAN_BUILD_DIR:-build/asan}
prefix=$PWD/build/install

echo "== RelWithDebInfo build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 600

echo "== Install and find_package consumer"
rm -rf "$prefix"
cmake --install "$build" > /dev/null
cmake -S tests/install -B build/install-test -DCMAKE_PREFIX_PATH="$prefix"
cmake --build build/install-test -j"$jobs"
ctest --test-dir build/install-test --output-on-failure

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DTARNIX_SANITIZE="address;undefined" \
  -DTARNIX_BUILD_BENCHMARKS=OFF
cmake --build "$asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$asan" -j"$jobs" --output-on-failure --timeout 1200
