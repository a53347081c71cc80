// Throughput of point insertions and edge collapses on a 2D surface of about
// 100 000 triangles (a jittered 224 x 224 grid of split squares).
#include <array>
#include <cstdint>
#include <memory>
#include <random>

#include <benchmark/benchmark.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include <morvex/modifier_surface.h>

namespace tarnix {
namespace {

constexpr index_t GRID_SIZE = 224;  // 2 x 224 x 224 = 100 352 triangles

std::unique_ptr<TriangulatedSurface<2>> make_surface(std::uint32_t seed) {
  auto mesh = TriangulatedSurface<2>::create();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> jitter(-0.2, 0.2);
  for (index_t j = 0; j <= GRID_SIZE; ++j) {
    for (index_t i = 0; i <= GRID_SIZE; ++i) {
      const bool inner = i > 0 && i < GRID_SIZE && j > 0 && j < GRID_SIZE;
      builder->create_point(Point<2>{{{i + (inner ? jitter(random) : 0.0),
                                       j + (inner ? jitter(random) : 0.0)}}});
    }
  }
  for (index_t j = 0; j < GRID_SIZE; ++j) {
    for (index_t i = 0; i < GRID_SIZE; ++i) {
      const index_t corner = i + (GRID_SIZE + 1) * j;
      builder->create_triangle({corner, corner + 1, corner + GRID_SIZE + 2});
      builder->create_triangle({corner, corner + GRID_SIZE + 2, corner + GRID_SIZE + 1});
    }
  }
  builder->compute_polygon_adjacencies();
  return mesh;
}

// A surface with its modifier, and a source of random active triangles.
class EditedSurface {
 public:
  explicit EditedSurface(std::uint32_t seed)
      : mesh_(make_surface(seed)),
        builder_(TriangulatedSurfaceBuilder<2>::create(*mesh_)),
        modifier_(*mesh_, *builder_),
        random_(seed) {}

  TriangulatedSurface<2> const& mesh() const { return *mesh_; }
  TriangulatedSurfaceEpsilonModifier<2>& modifier() { return modifier_; }

  index_t random_triangle() {
    for (;;) {
      const auto t = static_cast<index_t>(uniform() * mesh_->nb_polygons());
      if (t < mesh_->nb_polygons() && mesh_->is_polygon_active(t)) return t;
    }
  }
  local_index_t random_local() { return static_cast<local_index_t>(random_() % 3); }
  double uniform() { return std::uniform_real_distribution<double>(0, 1)(random_); }

 private:
  std::unique_ptr<TriangulatedSurface<2>> mesh_;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder_;
  TriangulatedSurfaceEpsilonModifier<2> modifier_;
  std::mt19937 random_;
};

void BM_InsertPointInTriangle(benchmark::State& state) {
  EditedSurface surface(1);
  for (auto _ : state) {
    const index_t t = surface.random_triangle();
    const auto triangle = surface.mesh().triangle(t);
    const auto& p = triangle.vertices();
    const double a = 0.1 + 0.6 * surface.uniform();
    const double b = 0.1 + (0.8 - a) * surface.uniform();
    auto result =
        surface.modifier().insert_point_in_triangle(t, p[0] * a + p[1] * b + p[2] * (1 - a - b));
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["triangles"] = static_cast<double>(surface.mesh().nb_polygons());
}

void BM_InsertPointOnEdge(benchmark::State& state) {
  EditedSurface surface(2);
  for (auto _ : state) {
    const PolygonEdge edge{surface.random_triangle(), surface.random_local()};
    const auto ends = surface.mesh().polygon_edge_vertices(edge);
    const double s = 0.2 + 0.6 * surface.uniform();
    auto result = surface.modifier().insert_point_on_edge(
        edge, surface.mesh().point(ends[0]) * (1 - s) + surface.mesh().point(ends[1]) * s);
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
}

// Each iteration simulates a random collapse onto an end and makes it when
// allowed; the surface loses two triangles per collapse, hence the fixed
// number of iterations.
void BM_CollapseEdge(benchmark::State& state) {
  EditedSurface surface(3);
  std::int64_t collapsed = 0;
  for (auto _ : state) {
    const PolygonEdge edge{surface.random_triangle(), surface.random_local()};
    const Point<2> target = surface.mesh().point(surface.mesh().polygon_edge_vertex(edge, 1));
    if (is_collapse_edge_valid(surface.mesh(), edge, target)) {
      auto info = surface.modifier().collapse_edge(edge, target);
      benchmark::DoNotOptimize(info);
      ++collapsed;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["collapsed"] = static_cast<double>(collapsed);
}

void BM_Clean(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    EditedSurface surface(4);
    for (int i = 0; i < 10000; ++i) {
      const PolygonEdge edge{surface.random_triangle(), surface.random_local()};
      const Point<2> target = surface.mesh().point(surface.mesh().polygon_edge_vertex(edge, 1));
      if (is_collapse_edge_valid(surface.mesh(), edge, target)) {
        surface.modifier().collapse_edge(edge, target);
      }
    }
    state.ResumeTiming();
    auto mappings = surface.modifier().clean();
    benchmark::DoNotOptimize(mappings);
  }
}

BENCHMARK(BM_InsertPointInTriangle)->Iterations(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InsertPointOnEdge)->Iterations(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CollapseEdge)->Iterations(30000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Clean)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnix
