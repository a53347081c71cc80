// Throughput of straight cuts across a jittered grid of about 100000
// triangles: the walk alone, and walk plus cut.

#include <cmath>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include <morvex/cutter_surface.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace {

constexpr index_t GRID = 224;  // 2 * 224 * 224 = 100352 triangles
constexpr double PI = 3.14159265358979323846;

index_t grid_vertex(index_t i, index_t j) { return i + (GRID + 1) * j; }

//! The GRID x GRID unit grid, each square cut along its rising diagonal,
//! with every vertex moved by at most 0.2 in each coordinate.
std::unique_ptr<TriangulatedSurface<2>> make_surface() {
  auto surface = TriangulatedSurface<2>::create();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*surface);
  std::mt19937 random{1};
  std::uniform_real_distribution<double> jitter{-0.2, 0.2};
  for (index_t j = 0; j <= GRID; ++j) {
    for (index_t i = 0; i <= GRID; ++i) {
      builder->create_point(Point<2>{{i + jitter(random), j + jitter(random)}});
    }
  }
  for (index_t j = 0; j < GRID; ++j) {
    for (index_t i = 0; i < GRID; ++i) {
      const index_t corner = grid_vertex(i, j);
      builder->create_triangle({corner, corner + 1, corner + GRID + 2});
      builder->create_triangle({corner, corner + GRID + 2, corner + GRID + 1});
    }
  }
  builder->compute_polygon_adjacencies();
  return surface;
}

//! Vertex pairs about `length` grid units apart, in random directions.
std::vector<std::pair<index_t, index_t>> make_pairs(double length, std::size_t count) {
  std::mt19937 random{2};
  std::uniform_real_distribution<double> angle{0.0, 2.0 * PI};
  std::uniform_real_distribution<double> place{length, GRID - length};
  std::vector<std::pair<index_t, index_t>> pairs;
  for (std::size_t k = 0; k < count; ++k) {
    const double x = std::round(place(random));
    const double y = std::round(place(random));
    const double t = angle(random);
    const auto i = static_cast<index_t>(std::lround(x + length * std::cos(t)));
    const auto j = static_cast<index_t>(std::lround(y + length * std::sin(t)));
    pairs.emplace_back(grid_vertex(static_cast<index_t>(x), static_cast<index_t>(y)),
                       grid_vertex(i, j));
  }
  return pairs;
}

//! The walk and its cut points, without cutting.
void BM_FindStraightPath(benchmark::State& state) {
  const auto surface = make_surface();
  const auto pairs = make_pairs(static_cast<double>(state.range(0)), 1024);
  std::size_t next = 0;
  std::size_t steps = 0;
  for (auto _ : state) {
    const auto& [a, b] = pairs[next++ % pairs.size()];
    const auto path = detail::find_straight_surface_path(*surface, a, b);
    if (!path) continue;
    const auto cuts = determine_cuts(*surface, a, b, *path);
    steps += cuts.size();
    benchmark::DoNotOptimize(cuts.data());
  }
  state.counters["steps/s"] =
      benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate);
}

//! Walk, cut points and cut. The surface is rebuilt, untimed, every 512
//! cuts so that later cuts do not run through ever denser chains.
void BM_StraightCut(benchmark::State& state) {
  auto surface = make_surface();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*surface);
  const auto pairs = make_pairs(static_cast<double>(state.range(0)), 512);
  std::size_t next = 0;
  std::size_t created = 0;
  for (auto _ : state) {
    if (next == pairs.size()) {
      state.PauseTiming();
      surface = make_surface();
      builder = TriangulatedSurfaceBuilder<2>::create(*surface);
      next = 0;
      state.ResumeTiming();
    }
    const auto& [a, b] = pairs[next++];
    const auto path = detail::find_straight_surface_path(*surface, a, b);
    if (!path) continue;
    const auto cuts = determine_cuts(*surface, a, b, *path);
    const auto info = cut_along_path<2>(*surface, *builder, a, b, cuts);
    created += info.created_vertices.size();
    benchmark::DoNotOptimize(info.first.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.counters["created/s"] =
      benchmark::Counter(static_cast<double>(created), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_FindStraightPath)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StraightCut)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarnix
