// Walks across a jittered grid of about 50k triangles: segments between
// vertices (the macro-edge walk) and lines from an inner edge (the line
// walk), as the frontal remesher runs them.
#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <tarnix/surface2d/frontal_remesher.h>
#include <tarnix/surface2d/propagate_along_line.h>
#include <tarnix/surface2d/propagate_along_surface_macro_edge.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <vantrel/core.h>

namespace tarnix {
namespace {

constexpr index_t grid_size = 158;

struct World {
  World() {
    surface = TriangulatedSurface<2>::create();
    builder = TriangulatedSurfaceBuilder<2>::create(*surface);
    std::mt19937 random{1};
    std::uniform_real_distribution<double> offset{-0.2, 0.2};
    for (index_t j = 0; j <= grid_size; ++j) {
      for (index_t i = 0; i <= grid_size; ++i) {
        builder->create_point(Point<2>{{i + offset(random), j + offset(random)}});
      }
    }
    for (index_t j = 0; j < grid_size; ++j) {
      for (index_t i = 0; i < grid_size; ++i) {
        const index_t c = i + (grid_size + 1) * j;
        builder->create_triangle({c, c + 1, c + grid_size + 2});
        builder->create_triangle({c, c + grid_size + 2, c + grid_size + 1});
      }
    }
    builder->compute_polygon_adjacencies();
    remesher = std::make_unique<detail::FrontalRemesher2D>(*surface, *builder, metric,
                                                           absl::Span<index_t const>{});
    remesher->create_polygon_attributes();
  }

  std::unique_ptr<TriangulatedSurface<2>> surface;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric{1.0};
  std::unique_ptr<detail::FrontalRemesher2D> remesher;
};

World const& world() {
  static World const instance;
  return instance;
}

// Segments of about state.range(0) grid units in random directions.
void BM_SegmentWalk(benchmark::State& state) {
  auto const& w = world();
  const int reach = static_cast<int>(state.range(0));
  std::mt19937 random{2};
  std::uniform_int_distribution<int> any{reach, static_cast<int>(grid_size) - reach};
  std::uniform_int_distribution<int> offset{-reach, reach};
  std::size_t nb_steps = 0;
  for (auto _ : state) {
    const int i = any(random);
    const int j = any(random);
    const auto a = static_cast<index_t>(i + (grid_size + 1) * j);
    const auto b =
        static_cast<index_t>(i + offset(random) + (grid_size + 1) * (j + offset(random)));
    const auto steps = detail::PropagateAlongSurfaceMacroEdge2D{*w.remesher, a, b}.along_segment();
    if (steps) nb_steps += steps->size();
    benchmark::DoNotOptimize(steps);
  }
  state.counters["steps"] =
      benchmark::Counter(static_cast<double>(nb_steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SegmentWalk)->Arg(2)->Arg(20)->Arg(70);

// Lines from a random inner edge, walked to a distance of state.range(0).
void BM_LineWalk(benchmark::State& state) {
  auto const& w = world();
  auto const& surface = *w.surface;
  const double distance = static_cast<double>(state.range(0));
  std::mt19937 random{3};
  std::uniform_int_distribution<index_t> any_triangle{0, surface.nb_polygons() - 1};
  std::uniform_real_distribution<double> unit{0.0, 1.0};
  std::size_t nb_steps = 0;
  for (auto _ : state) {
    const PolygonEdge edge{any_triangle(random), static_cast<local_index_t>(unit(random) * 2.99)};
    const auto ends = surface.polygon_edge_vertices(edge);
    Point<2> const& p0 = surface.point(ends[0]);
    Point<2> const& p1 = surface.point(ends[1]);
    const InfiniteLine<2> line{perpendicular(Vector<2>{p0, p1}), (p0 + p1) * 0.5};
    const auto paths =
        detail::PropagateAlongLine2D{*w.remesher, line}.along_line({{edge, true}}, distance);
    if (paths) nb_steps += paths->size();
    benchmark::DoNotOptimize(paths);
  }
  state.counters["steps"] =
      benchmark::Counter(static_cast<double>(nb_steps), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LineWalk)->Arg(2)->Arg(20)->Arg(70);

}  // namespace
}  // namespace tarnix
