#!/usr/bin/env bash
# Builds and runs every benchmark (Google Benchmark), one table per
# benchmark program. Pass a regular expression to run only some programs,
# e.g. `bash scripts/bench.sh 'pipeline|frontal'`.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TARNIX_BUILD_DIR:-build/release}
filter=${1:-.}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNIX_BUILD_BENCHMARKS=ON > /dev/null
cmake --build "$build" -j"$(nproc)"

for program in $(find "$build" -type f -name '*_bench' -perm -u+x | sort); do
  name=$(basename "$program")
  [[ $name =~ $filter ]] || continue
  echo "== $name"
  "$program" --benchmark_counters_tabular=true 2>/dev/null
done
