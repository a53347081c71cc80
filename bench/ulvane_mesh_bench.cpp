// Surface mesh construction, fan queries and region removal with clean on
// structured grids of 2 n^2 triangles.

#include <array>
#include <memory>

#include <absl/container/inlined_vector.h>
#include <benchmark/benchmark.h>

#include <common/variable_attribute.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {
namespace {

//! Adds the points of the grid and, through `create_square`, the two
//! triangles of each square (lower left, lower right, upper right, upper
//! left corner).
template <typename CreateSquare>
void add_grid(TriangulatedSurfaceBuilder<2>& builder, index_t n, CreateSquare&& create_square) {
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) builder.create_point(Point<2>{{double(i), double(j)}});
  }
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t corner = i + (n + 1) * j;
      create_square(corner, corner + 1, corner + n + 2, corner + n + 1);
    }
  }
}

std::unique_ptr<TriangulatedSurface<2>> make_grid(index_t n) {
  auto mesh = TriangulatedSurface<2>::create();
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  add_grid(*builder, n, [&builder](index_t a, index_t b, index_t c, index_t d) {
    builder->create_triangle({a, b, c});
    builder->create_triangle({a, c, d});
  });
  builder->compute_polygon_adjacencies();
  return mesh;
}

void BM_BuildGrid(benchmark::State& state) {
  const auto n = static_cast<index_t>(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(make_grid(n));
  state.SetItemsProcessed(state.iterations() * 2 * n * n);
}
BENCHMARK(BM_BuildGrid)->Arg(100)->Arg(300)->Unit(benchmark::kMillisecond);

// The same grid built with the remesher's working polygon attributes
// registered first, so that every new triangle grows their storages.
void BM_BuildGridWithWorkingAttributes(benchmark::State& state) {
  using EdgeInfoLists = std::array<absl::InlinedVector<index_t, 1>, 3>;
  const auto n = static_cast<index_t>(state.range(0));
  for (auto _ : state) {
    auto mesh = TriangulatedSurface<2>::create();
    auto& polygons = mesh->polygon_attribute_manager();
    auto triangle_info =
        polygons.find_or_create_attribute<VariableAttribute, index_t>("triangle info", NO_ID, 1);
    auto edge_info = polygons.find_or_create_attribute<VariableAttribute, EdgeInfoLists>(
        "edge info", EdgeInfoLists{}, 0);
    auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    add_grid(*builder, n, [&](index_t a, index_t b, index_t c, index_t d) {
      const index_t t = builder->create_triangle({a, b, c});
      edge_info->modifiable_value(t)[0].push_back(a);
      builder->create_triangle({a, c, d}, t);
    });
    benchmark::DoNotOptimize(triangle_info->size() + edge_info->size());
  }
  state.SetItemsProcessed(state.iterations() * 2 * n * n);
}
BENCHMARK(BM_BuildGridWithWorkingAttributes)->Arg(300)->Unit(benchmark::kMillisecond);

void BM_FansOfAllVertices(benchmark::State& state) {
  const auto mesh = make_grid(static_cast<index_t>(state.range(0)));
  for (auto _ : state) {
    std::size_t total = 0;
    for (index_t v = 0; v < mesh->nb_vertices(); ++v) total += mesh->polygons_around_vertex(v).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * mesh->nb_vertices());
}
BENCHMARK(BM_FansOfAllVertices)->Arg(300)->Unit(benchmark::kMillisecond);

// Removes the triangles of a central disc one by one (a hole), or every
// third triangle (fans broken everywhere), then cleans.
void BM_RemoveRegionAndClean(benchmark::State& state) {
  const auto n = static_cast<index_t>(state.range(0));
  const bool checkerboard = state.range(1) != 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto mesh = make_grid(n);
    auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    state.ResumeTiming();
    const double middle = n / 2.0;
    for (index_t t = 0; t < mesh->nb_polygons(); ++t) {
      const auto center = mesh->polygon_barycenter(t);
      const double dx = center.value(0) - middle;
      const double dy = center.value(1) - middle;
      const bool removed = checkerboard ? t % 3 == 0 : dx * dx + dy * dy < middle * middle / 4;
      if (removed) builder->remove_polygon(t);
    }
    builder->clean();
    benchmark::DoNotOptimize(mesh->nb_polygons());
  }
  state.SetItemsProcessed(state.iterations() * 2 * n * n);
}
BENCHMARK(BM_RemoveRegionAndClean)
    ->Args({100, 0})
    ->Args({300, 0})
    ->Args({100, 1})
    ->Args({300, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarnix
