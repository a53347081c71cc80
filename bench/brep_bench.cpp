// Bounding-box-tree traversals on surfaces of about 100 000 triangles, and
// the surface post-processing of a BRep of about 100 000 triangles.
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <ulvane/basic/progress_logger.h>
#include <ulvane/geometry/aabb.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep.h>
#include <vantrel/core.h>

#include "brep/aabb_traversal.h"
#include "brep/brep_test_models.h"
#include "brep/post_process_surfaces.h"

namespace {

using tarnix::index_t;
using tarnix::Point;

// An n x n grid over [0, 1]^2 (2 n^2 triangles) on the wavy height field
// z = offset + a sin(f x) cos(f y).
std::unique_ptr<tarnix::TriangulatedSurface<3>> wavy_grid(index_t n, double offset,
                                                          double frequency) {
  auto mesh = tarnix::TriangulatedSurface<3>::create();
  auto builder = tarnix::TriangulatedSurfaceBuilder<3>::create(*mesh);
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      const double x = static_cast<double>(i) / n;
      const double y = static_cast<double>(j) / n;
      builder->create_point(
          Point<3>{{x, y, offset + 0.05 * std::sin(frequency * x) * std::cos(frequency * y)}});
    }
  }
  const auto vertex = [n](index_t i, index_t j) { return i + (n + 1) * j; };
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      builder->create_triangle({vertex(i, j), vertex(i + 1, j), vertex(i + 1, j + 1)});
      builder->create_triangle({vertex(i, j), vertex(i + 1, j + 1), vertex(i, j + 1)});
    }
  }
  builder->compute_polygon_adjacencies();
  return mesh;
}

constexpr index_t grid_size = 224;  // 100 352 triangles

void BM_ClosestElement(benchmark::State& state) {
  const auto mesh = wavy_grid(grid_size, 0.0, 12.0);
  const auto tree = tarnix::create_aabb_tree<3>(*mesh);
  tarnix::DistanceToTriangle<3> distance{*mesh};
  std::mt19937 random{1};
  std::uniform_real_distribution<double> coordinate{-0.2, 1.2};
  std::vector<Point<3>> queries;
  for (int q = 0; q < 1024; ++q) {
    queries.push_back(Point<3>{{coordinate(random), coordinate(random), coordinate(random)}});
  }
  std::size_t next = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.closest_element(queries[next], distance));
    next = (next + 1) % queries.size();
  }
  state.counters["triangles"] = static_cast<double>(mesh->nb_polygons());
}
BENCHMARK(BM_ClosestElement)->Unit(benchmark::kMicrosecond);

struct CountPairs {
  std::size_t count = 0;
  void operator()(index_t, index_t) { ++count; }
};

void BM_BoxPairIntersect(benchmark::State& state) {
  // Two wavy sheets crossing each other along many curves.
  const auto first = wavy_grid(grid_size, 0.0, 12.0);
  const auto second = wavy_grid(grid_size, 0.01, 17.0);
  const auto first_tree = tarnix::create_aabb_tree<3>(*first);
  const auto second_tree = tarnix::create_aabb_tree<3>(*second);
  std::size_t pairs = 0;
  for (auto _ : state) {
    CountPairs count;
    tarnix::detail::box_pair_intersect(first_tree, second_tree, count);
    pairs = count.count;
    benchmark::DoNotOptimize(pairs);
  }
  state.counters["triangles"] = static_cast<double>(first->nb_polygons());
  state.counters["pairs"] = static_cast<double>(pairs);
}
BENCHMARK(BM_BoxPairIntersect)->Unit(benchmark::kMillisecond);

void BM_PostProcessSurfaces(benchmark::State& state) {
  tarnix::ProgressLogger::set_quiet(true);
  // 6 x 2 x 91^2 = 99 372 triangles, inner vertices moved in plane.
  const index_t n = 91;
  const tarnix::ConstantMetric<3> metric{1.0 / n};
  for (auto _ : state) {
    state.PauseTiming();
    auto cube = tarnix::test::make_box_row_brep(1, n);
    tarnix::test::jitter_surface_interiors(cube.brep, 0.3 / n, 17);
    tarnix::RemeshingData<tarnix::BRep, 3> data{
        cube.brep, std::make_unique<tarnix::BRep>(), {}, cube.brep, {}, metric};
    state.ResumeTiming();
    tarnix::detail::post_process_surfaces(data);
    state.PauseTiming();
    {
      auto done = std::move(cube);
    }
    state.ResumeTiming();
  }
  state.counters["triangles"] = 6.0 * 2 * n * n;
}
BENCHMARK(BM_PostProcessSurfaces)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
