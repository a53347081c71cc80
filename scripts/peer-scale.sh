#!/usr/bin/env bash
# Scale curve against the peer benchmark (../shared/peer-bench): the unit
# square at uniform targets, one process per row, so that each row's peak
# memory is its own whole process (a fresh process holds about 20 MB before
# meshing). Prints one markdown table; compare rows of one run only.
#   bash scripts/peer-scale.sh                 h = 0.01 0.005 0.002 0.00107
#   H_LIST="0.01 0.005" FINE_INPUT=0.7 bash scripts/peer-scale.sh
set -euo pipefail
cd "$(dirname "$0")/.."
peer=${PEER_BENCH_DIR:-../shared/peer-bench}
build=${TARNIX_BUILD_DIR:-build/peer-release}
prefix=$PWD/build/peer-prefix
out=$PWD/build/peer-bench

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" -j"$(nproc)" > /dev/null 2>&1
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
PEER_BENCH_BUILD=$out TARNIX_PREFIX=$prefix bash "$peer/build.sh" > /dev/null

echo "| h | peer | triangles | seconds | triangles/s | peak MB | KB per triangle |"
echo "|---|---|---:|---:|---:|---:|---:|"
for h in ${H_LIST:-0.01 0.005 0.002 0.00107}; do
  for only in "Gmsh-FrontalDelaunay" "remesh+relax"; do
    log=$(mktemp)
    BENCH_H=$h /usr/bin/time -f "peak %M" "$out/bench" --reps 1 --case square:uniform \
      --no-header --only "$only" > "$log" 2>&1 || true
    row=$(grep '^|' "$log" | tail -n 1)
    tris=$(echo "$row" | cut -d'|' -f6 | tr -d ' ')
    ms=$(echo "$row" | cut -d'|' -f8 | tr -d ' ')
    kb=$(grep '^peak' "$log" | awk '{print $2}')
    rm -f "$log"
    awk -v h="$h" -v p="$only" -v t="$tris" -v ms="$ms" -v kb="$kb" 'BEGIN {
      printf "| %s | %s | %d | %.2f | %.0f | %.0f | %.2f |\n", h, p, t, ms / 1000,
             t / (ms / 1000), kb / 1024, kb / t }'
  done
done
