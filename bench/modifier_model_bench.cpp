// Throughput of model-level edge swaps with their validity simulation, on
// one jittered grid surface of a Section and of a BRep.

#include <array>
#include <memory>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/brep_builder.h>
#include <ulvane/model/section.h>
#include <ulvane/model/section_builder.h>

#include <morvex/modifier_model.h>

namespace tarnix {
namespace {

template <index_t D>
Point<D> grid_point(double x, double y) {
  std::array<double, D> values{};
  values[0] = x;
  values[1] = y;
  return Point<D>{values};
}

//! An n x n grid of triangle pairs over [0, n]^2 (z = 0 in 3D), inner
//! vertices jittered, every vertex linked to its own unique vertex.
template <typename Model, typename Builder, index_t D>
uuid add_grid_surface(Model& model, index_t n) {
  Builder model_builder{model};
  const uuid id = model_builder.add_surface();
  auto& mesh = dynamic_cast<TriangulatedSurface<D>&>(
      model_builder.modifiable_surface(id).get_modifiable_mesh());
  auto builder = TriangulatedSurfaceBuilder<D>::create(mesh);
  std::mt19937 random{7};
  std::uniform_real_distribution<double> jitter{-0.2, 0.2};
  for (index_t j = 0; j <= n; ++j) {
    for (index_t i = 0; i <= n; ++i) {
      const bool inner = i > 0 && j > 0 && i < n && j < n;
      builder->create_point(grid_point<D>(i + (inner ? jitter(random) : 0.0),
                                          j + (inner ? jitter(random) : 0.0)));
    }
  }
  for (index_t j = 0; j < n; ++j) {
    for (index_t i = 0; i < n; ++i) {
      const index_t v = i + (n + 1) * j;
      builder->create_triangle({v, v + 1, v + n + 2});
      builder->create_triangle({v, v + n + 2, v + n + 1});
    }
  }
  builder->compute_polygon_adjacencies();
  const index_t first = model_builder.create_unique_vertices(mesh.nb_vertices());
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    model_builder.set_unique_vertex({model.surface(id).component_id(), v}, first + v);
  }
  return id;
}

template <typename Model, typename Builder, typename Modifier, index_t D>
void swap_with_simulation(benchmark::State& state) {
  Model model;
  const uuid id = add_grid_surface<Model, Builder, D>(model, static_cast<index_t>(state.range(0)));
  auto const& surface = model.surface(id);
  auto const& mesh = surface.get_mesh();
  std::vector<PolygonEdge> edges;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    for (local_index_t e = 0; e < 3; ++e) {
      if (!mesh.is_edge_on_border({t, e})) edges.push_back({t, e});
    }
  }
  Modifier modifier{model};
  std::size_t next = 0;
  std::int64_t swaps = 0;
  for (auto _ : state) {
    const PolygonEdge edge = edges[next];
    next = (next + 1) % edges.size();
    const auto result = is_swap_edge_valid(model, surface, edge);
    if (result.empty()) {
      modifier.swap_edge(surface, edge);
      ++swaps;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["swapped"] =
      benchmark::Counter(static_cast<double>(swaps) / static_cast<double>(state.iterations()));
}

template <typename Model, typename Builder, index_t D>
void simulation_only(benchmark::State& state) {
  Model model;
  const uuid id = add_grid_surface<Model, Builder, D>(model, static_cast<index_t>(state.range(0)));
  auto const& surface = model.surface(id);
  auto const& mesh = surface.get_mesh();
  const index_t nb_edges = 3 * mesh.nb_polygons();
  index_t next = 0;
  for (auto _ : state) {
    const PolygonEdge edge{next / 3, static_cast<local_index_t>(next % 3)};
    next = (next + 1) % nb_edges;
    benchmark::DoNotOptimize(is_swap_edge_valid(model, surface, edge));
  }
  state.SetItemsProcessed(state.iterations());
}

void section_swap(benchmark::State& state) {
  swap_with_simulation<Section, SectionBuilder, SectionGeometricModifier, 2>(state);
}
void brep_swap(benchmark::State& state) {
  swap_with_simulation<BRep, BRepBuilder, BRepGeometricModifier, 3>(state);
}
void section_swap_simulation(benchmark::State& state) {
  simulation_only<Section, SectionBuilder, 2>(state);
}
void brep_swap_simulation(benchmark::State& state) {
  simulation_only<BRep, BRepBuilder, 3>(state);
}

BENCHMARK(section_swap)->Arg(16)->Arg(64);
BENCHMARK(brep_swap)->Arg(16)->Arg(64);
BENCHMARK(section_swap_simulation)->Arg(64);
BENCHMARK(brep_swap_simulation)->Arg(64);

}  // namespace
}  // namespace tarnix
