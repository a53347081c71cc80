// Open macro-edge cycles and the regions the front leaves open.

#include <vector>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

using Cycles = std::vector<std::vector<unsigned int>>;

struct Grid {
  explicit Grid(unsigned int n, std::vector<unsigned int> given_ids = {})
      : mesh(make_grid<2>(n)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        given(std::move(given_ids)),
        remesher(*mesh, *builder, metric, given) {
    remesher.prepare_surface();
    remesher.create_polygon_attributes();
  }
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric{1.0};
  std::vector<unsigned int> given;
  TestRemesher remesher;
};

TEST(OpenMacroEdgeCycles, ChainsOpenMacroEdgesHeadToTail) {
  struct Case {
    char const* name;
    std::vector<detail::MacroEdge> macro_edges;
    std::vector<bool> closed;
    Cycles cycles;
  };
  std::vector<detail::MacroEdge> long_chain;
  for (unsigned int i = 0; i <= 1000; ++i) long_chain.push_back({i, i + 1});
  Cycles long_cycles{{}, {1000}};
  for (unsigned int i = 0; i < 1000; ++i) long_cycles[0].push_back(i);
  const Case cases[] = {
      {"nothing open", {{0, 1}, {1, 0}}, {true, true}, {}},
      {"one loop", {{0, 1}, {1, 2}, {2, 0}}, {false, false, false}, {{0, 1, 2}}},
      {"closed edges are left out", {{0, 1}, {1, 2}, {2, 0}, {2, 1}}, {false, false, false, true},
       {{0, 1, 2}}},
      {"two loops touching at vertex 0",
       {{0, 1}, {1, 2}, {2, 0}, {0, 3}, {3, 4}, {4, 0}},
       std::vector<bool>(6, false),
       {{0, 1, 2}, {3, 4, 5}}},
      {"an end where nothing starts", {{0, 1}, {5, 6}}, {false, false}, {{0}, {1}}},
      {"a walk is cut after 1000 macro edges", long_chain, std::vector<bool>(1001, false),
       long_cycles},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid(1);
    auto& r = grid.remesher;
    r.macro_edges = c.macro_edges;
    for (const bool closed : c.closed) r.macro_edge_sides.push_back({NO_ID, closed ? 0u : NO_ID});
    Cycles cycles;
    for (auto const& cycle : r.open_macro_edge_cycles()) cycles.push_back(cycle);
    EXPECT_EQ(cycles, c.cycles);
  }
}

TEST(ExtractRegion, CopiesTheUncoveredInsideOfACycle) {
  // make_grid(2) with the corners given: four open border macro edges.
  Grid grid(2, {0, 2, 8, 6});
  auto& r = grid.remesher;
  r.initialize_front();
  const auto cycles = r.open_macro_edge_cycles();
  ASSERT_EQ(cycles.size(), 1u);
  ASSERT_EQ(cycles[0].size(), 4u);
  const auto region = r.extract_region(cycles[0]);
  ASSERT_TRUE(region);
  EXPECT_EQ(region->mesh->nb_polygons(), 8u);
  EXPECT_TRUE(region->ring_triangles.empty());
  expect_valid_surface(*region->mesh);
  EXPECT_DOUBLE_EQ(surface_area(*region->mesh), 4.0);
  ASSERT_EQ(region->boundary_chains.size(), 4u);
  for (std::size_t q = 0; q < 4; ++q) {
    auto const& chain = region->boundary_chains[q];
    auto const& macro_edge = r.macro_edges[cycles[0][q]];
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(region->to_input_vertex[chain.front()], macro_edge[1]);
    EXPECT_EQ(region->to_input_vertex[chain.back()], macro_edge[0]);
  }
  for (unsigned int v = 0; v < region->mesh->nb_vertices(); ++v) {
    const unsigned int input = region->to_input_vertex[v];
    EXPECT_EQ(region->mesh->point(v), grid.mesh->point(input));
    EXPECT_EQ(region->to_output_vertex[v], r.output_vertex_of(input));
  }
  for (unsigned int t = 0; t < grid.mesh->nb_polygons(); ++t) EXPECT_EQ(r.triangle_info(t), 0xFFFFFFFEu);
  // A second extraction finds nothing left to take.
  EXPECT_FALSE(r.extract_region(cycles[0]));
}

TEST(ExtractRegion, AddsTheRingAroundCoveredBoundaryTriangles) {
  Grid grid(2, {0, 2, 8, 6});
  auto& r = grid.remesher;
  r.initialize_front();
  // The square (0, 0) is covered by some output triangle 0.
  r.triangle_info_attribute->set_value(0, 0);
  r.triangle_info_attribute->set_value(1, 0);
  const auto cycles = r.open_macro_edge_cycles();
  const auto region = r.extract_region(cycles[0]);
  ASSERT_TRUE(region);
  EXPECT_EQ(region->mesh->nb_polygons(), 8u);
  ASSERT_EQ(region->ring_triangles.size(), 2u);
  EXPECT_EQ(region->ring_triangles[0] + region->ring_triangles[1], 6u + 7u);
  EXPECT_EQ(r.triangle_info(0), 0u);
  EXPECT_EQ(r.triangle_info(1), 0u);
  expect_valid_surface(*region->mesh);
}

TEST(ExtractRegion, GivesNothingForACoveredInside) {
  Grid grid(2, {0, 2, 8, 6});
  auto& r = grid.remesher;
  r.initialize_front();
  for (unsigned int t = 0; t < grid.mesh->nb_polygons(); ++t) r.triangle_info_attribute->set_value(t, 0);
  const auto result = r.build_remeshed_surface();
  EXPECT_TRUE(result.unmeshed_regions.empty());
  EXPECT_TRUE(result.auxiliary_entries.empty());
  EXPECT_EQ(result.vertex_origins.size(), 4u);
}

}  // namespace
}  // namespace test
}  // namespace tarnix
