#!/usr/bin/env bash
# Builds and runs every test: a RelWithDebInfo build with warnings as errors,
# the find_package consumer project, a Release build with the default options
# (as a host builds the libraries), an AddressSanitizer +
# UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of what
# runs on several threads (the 2D pipeline and the stress program).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
build=${TARNIX_BUILD_DIR:-build/release}
asan=${TARNIX_ASAN_BUILD_DIR:-build/asan}
tsan=${TARNIX_TSAN_BUILD_DIR:-build/tsan}
release=${TARNIX_PLAIN_BUILD_DIR:-build/plain-release}
prefix=$PWD/build/install

echo "== RelWithDebInfo build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DTARNIX_WARNINGS_AS_ERRORS=ON
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" -j"$jobs" --output-on-failure --timeout 600

echo "== Install and find_package consumer"
rm -rf "$prefix"
cmake --install "$build" > /dev/null
cmake -S tests/install -B build/install-test -DCMAKE_PREFIX_PATH="$prefix"
cmake --build build/install-test -j"$jobs"
ctest --test-dir build/install-test --output-on-failure

echo "== Release build with the default options"
cmake -S . -B "$release" -DCMAKE_BUILD_TYPE=Release
cmake --build "$release" -j"$jobs"
ctest --test-dir "$release" -j"$jobs" --output-on-failure --timeout 600

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DTARNIX_SANITIZE="address;undefined" \
  -DTARNIX_BUILD_BENCHMARKS=OFF -DTARNIX_WARNINGS_AS_ERRORS=ON
cmake --build "$asan" -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$asan" -j"$jobs" --output-on-failure --timeout 1200

echo "== ThreadSanitizer build: the 2D pipeline tests and the stress program"
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIX_SANITIZE=thread \
  -DTARNIX_BUILD_BENCHMARKS=OFF -DTARNIX_WARNINGS_AS_ERRORS=ON
cmake --build "$tsan" -j"$jobs" --target surface2d_driver_test ulvane_model_test tarnix_stress \
  tarnix_regression_test
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
"$tsan"/platform/ulvane/ulvane_model_test --gtest_brief=1
"$tsan"/surface2d/surface2d_driver_test --gtest_brief=1
"$tsan"/tests/stress/tarnix_regression_test --gtest_brief=1
ctest --test-dir "$tsan" -L stress -j"$jobs" --output-on-failure --timeout 1800
unset TSAN_OPTIONS
