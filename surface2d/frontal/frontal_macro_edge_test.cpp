// Macro-edge marks, lookups, chains and sides.

#include <array>
#include <vector>

#include <gtest/gtest.h>

#include <common/variable_attribute.h>
#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>

#include "frontal/frontal_test_support.h"

namespace tarnix {
namespace test {
namespace {

using detail::CandidateSide;
using List = absl::InlinedVector<unsigned int, 1>;

struct Grid {
  explicit Grid(unsigned int n)
      : mesh(make_grid<2>(n)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        remesher(*mesh, *builder, metric, {}) {
    remesher.create_polygon_attributes();
  }
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  ConstantMetric<2> metric{1.0};
  TestRemesher remesher;
};

// make_grid(1): t0 = (0, 1, 3) and t1 = (0, 3, 2) share the diagonal, which
// is edge 2 of t0 and edge 0 of t1; edge 0 of t0 is on the border.
TEST(MacroEdgeOf, TakesTheYoungestOwnEntryElseTheTwins) {
  struct Case {
    char const* name;
    PolygonEdge edge;
    List own;
    List twin;
    unsigned int expected;
  };
  const Case cases[] = {
      {"own list", {0, 2}, {3, 7, 5}, {}, 7},
      {"empty own list, twin's entry", {0, 2}, {}, {2}, 2},
      {"own list before the twin's", {0, 2}, {4}, {9}, 4},
      {"empty own list on the border", {0, 0}, {}, {}, NO_ID},
      {"both lists empty", {0, 2}, {}, {}, NO_ID},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid(1);
    grid.remesher.set_edge_list(c.edge, c.own);
    if (const auto twin = grid.mesh->polygon_adjacent_edge(c.edge)) {
      grid.remesher.set_edge_list(*twin, c.twin);
    }
    EXPECT_EQ(grid.remesher.macro_edge_of(c.edge), c.expected);
    EXPECT_EQ(grid.remesher.carries_macro_edge(c.edge), c.expected != NO_ID);
  }
}

// make_grid(2): the diagonal 0-4 is edge 2 of t0 = (0, 1, 4) (running 4 -> 0)
// and edge 0 of t1 = (0, 4, 3).
TEST(MakeMacroEdge, ReusesAMacroEdgeFromBToAAndRefusesOneFromAToB) {
  Grid grid(2);
  auto& r = grid.remesher;
  r.macro_edges = {{4, 0}};
  r.macro_edge_sides = {{0, NO_ID}};
  r.set_edge_list({0, 2}, {0});
  const unsigned int nb_triangles = grid.mesh->nb_polygons();

  EXPECT_EQ(r.common_macro_edge(0, 4), absl::optional<unsigned int>(0));
  EXPECT_FALSE(r.find_macro_edge(0, 4));
  EXPECT_EQ(r.find_macro_edge(4, 0), absl::optional<unsigned int>(0));

  const auto reused = r.make_macro_edge(0, 4, 1);
  ASSERT_TRUE(reused);
  EXPECT_FALSE(reused->is_new);
  EXPECT_EQ(reused->macro_edge, 0u);
  EXPECT_EQ(reused->start, 0u);
  EXPECT_EQ(reused->end, 4u);
  EXPECT_FALSE(r.make_macro_edge(4, 0, 1));
  EXPECT_EQ(grid.mesh->nb_polygons(), nb_triangles);
}

TEST(MakeMacroEdge, MakesAStraightSideAndMarksItOnTheSideTowardsA) {
  struct Case {
    char const* name;
    unsigned int grid_size;
    unsigned int a;
    unsigned int b;
    // Whether the marked polygon edges run from a to b (on the border) or
    // from b towards a.
    bool forward;
    // The number of input edges of the side; for a cut, the least number.
    unsigned int nb_chain_edges;
    // Whether the side adds triangles (a cut) or only flips edges.
    bool cut;
  };
  const Case cases[] = {
      // From 0 (0, 0) to 5 (2, 1) the segment crosses edge 1-4 of
      // t0 = (0, 1, 4) and t3 = (1, 5, 4) at (1, 0.5): flipped to 0-5.
      {"across edge 1-4, flipped", 2, 0, 5, false, 1, false},
      // From 0 (0, 0) to 23 (3, 4): no vertex on the segment, many crossed
      // edges whose quadrilaterals are not all convex at first.
      {"across many edges, flipped", 4, 0, 23, false, 1, false},
      // Through vertex 4 (1, 1), which has no output vertex.
      {"along the diagonal edges 0-4 and 4-8", 2, 0, 8, false, 2, false},
      {"along the bottom border", 2, 0, 2, true, 2, false},
      // From 0 (0, 0) to 14 (4, 2) through vertex 7 (2, 1): no flips can
      // make that one edge, the crossed edges are cut.
      {"through a vertex between crossed edges, cut", 4, 0, 14, false, 4, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Grid grid(c.grid_size);
    auto& r = grid.remesher;
    const unsigned int nb_triangles = grid.mesh->nb_polygons();
    const auto side = r.make_macro_edge(c.a, c.b, 0);
    ASSERT_TRUE(side);
    EXPECT_TRUE(side->is_new);
    EXPECT_EQ(side->macro_edge, 0u);
    EXPECT_EQ(grid.mesh->nb_polygons() > nb_triangles, c.cut);
    expect_valid_surface(*grid.mesh);
    const auto chain = r.macro_edge_chain(c.a, c.b, 0);
    if (c.cut) {
      ASSERT_GE(chain.size(), c.nb_chain_edges);
    } else {
      ASSERT_EQ(chain.size(), c.nb_chain_edges);
    }
    // The chain recorded from the cut is the one walked on the marks.
    ASSERT_EQ(r.cut_chain.size(), chain.size());
    for (std::size_t k = 0; k < chain.size(); ++k) {
      EXPECT_EQ(r.cut_chain[k].edge, chain[k].edge);
      EXPECT_EQ(r.cut_chain[k].forward, chain[k].forward);
      EXPECT_EQ(chain[k].forward, c.forward);
    }
    // Each chain edge is marked once.
    unsigned int nb_marks = 0;
    for (unsigned int t = 0; t < grid.mesh->nb_polygons(); ++t) {
      if (!grid.mesh->is_polygon_active(t)) continue;
      for (local_index_t j = 0; j < 3; ++j) nb_marks += r.edge_info({t, j}).size();
    }
    EXPECT_EQ(nb_marks, chain.size());
    r.unmark_macro_edge(*side);
    for (auto const& step : chain) EXPECT_TRUE(r.edge_info(step.edge).empty());
  }
}

// Two triangles on the long diagonal a -> b of a thin quad: t0 = (a, b, c),
// t1 = (b, a, d). The flip to c - d makes both far better shaped; the outer
// edges keep their marks and neighbours.
TEST(FlipIfBetter, FlipsOnlyAnUnmarkedEdgeBetweenUncoveredTriangles) {
  struct Case {
    char const* name;
    std::array<double, 2> d;
    bool mark_diagonal;
    bool cover;
    bool flipped;
  };
  const Case cases[] = {
      {"a sliver pair", {2.0, -0.3}, false, false, true},
      {"a marked diagonal", {2.0, -0.3}, true, false, false},
      {"a covered triangle", {2.0, -0.3}, false, true, false},
      {"a quad that is not convex", {-2.0, -0.1}, false, false, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto mesh = make_surface<2>({{0.0, 0.0}, {4.0, 0.0}, {2.0, 0.3}, c.d}, {{0, 1, 2}, {1, 0, 3}});
    auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
    const ConstantMetric<2> metric{1.0};
    TestRemesher r(*mesh, *builder, metric, {});
    r.create_polygon_attributes();
    // The outer edge b -> c carries macro edge 7.
    r.set_edge_list({0, 1}, {7});
    if (c.mark_diagonal) r.set_edge_list({0, 0}, {3});
    if (c.cover) r.triangle_info_attribute->set_value(1, 5);
    const double area = surface_area(*mesh);
    const auto outer = r.flip_if_better({0, 0});
    EXPECT_EQ(outer.has_value(), c.flipped);
    EXPECT_EQ(mesh->polygon_edge_from_vertices(2, 3).has_value(), c.flipped);
    expect_valid_surface(*mesh);
    EXPECT_DOUBLE_EQ(surface_area(*mesh), area);
    const auto marked = mesh->polygon_edge_from_vertices(1, 2);
    ASSERT_TRUE(marked);
    EXPECT_EQ(r.edge_info(*marked), absl::MakeConstSpan(std::vector<unsigned int>{7}));
    unsigned int nb_marks = 0;
    for (unsigned int t = 0; t < 2; ++t) {
      for (local_index_t j = 0; j < 3; ++j) nb_marks += r.edge_info({t, j}).size();
    }
    EXPECT_EQ(nb_marks, c.mark_diagonal ? 2u : 1u);
    // The new diagonal is the better one: it is not flipped back.
    if (const auto diagonal = mesh->polygon_edge_from_vertices(2, 3)) {
      EXPECT_FALSE(r.flip_if_better(*diagonal));
    }
  }
}

TEST(StraightPath, RefusesToPassAnOtherOutputVertex) {
  // The diagonal from 0 to 8 passes exactly through the centre 4.
  for (const bool centre_has_output : {false, true}) {
    SCOPED_TRACE(centre_has_output ? "centre with output vertex" : "centre without");
    Grid grid(2);
    if (centre_has_output) grid.remesher.output_vertex(4, false);
    EXPECT_EQ(grid.remesher.straight_path(0, 8).has_value(), !centre_has_output);
  }
}

// Refuses every set of cuts.
class CutRefuser : public TestRemesher {
 public:
  using TestRemesher::TestRemesher;
  bool are_cuts_valid(unsigned int, unsigned int,
                      absl::Span<GeometricSurfacePath<2> const>) const override {
    return false;
  }
};

TEST(StraightPath, AsksTheCutsTestLast) {
  auto mesh = make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  const ConstantMetric<2> metric(1.0);
  CutRefuser remesher(*mesh, *builder, metric, {});
  remesher.create_polygon_attributes();
  EXPECT_FALSE(remesher.straight_path(0, 5));
  EXPECT_FALSE(remesher.make_macro_edge(0, 5, 0));
}

TEST(AppendEdgeInfo, AppendsAListToItself) {
  Grid grid(1);
  auto& r = grid.remesher;
  r.set_edge_list({0, 0}, {1, 2});
  r.append_edge_info({0, 0}, {0, 0});
  EXPECT_EQ(r.edge_lists(0)[0], (List{1, 2, 1, 2}));
}

TEST(UnmarkMacroEdge, RemovesTheFirstOccurrenceOnly) {
  Grid grid(1);
  auto& r = grid.remesher;
  r.set_edge_list({0, 0}, {5, 9, 5});
  r.unmark_macro_edge(CandidateSide{true, 5, 0, 1});
  EXPECT_EQ(r.edge_lists(0)[0], (List{9, 5}));
}

TEST(MergeEdgeInfo, CopiesTheListsOfReplacedEdgesOnly) {
  Grid grid(1);
  auto& r = grid.remesher;
  r.set_edge_list({0, 0}, {3});
  r.set_edge_list({1, 1}, {8});
  const SurfaceCutEdge entries[] = {
      {{0, 0}, {PolygonEdge{}, PolygonEdge{0, 0}}},
      {{0, 1}, {PolygonEdge{0, 0}, PolygonEdge{1, 1}}},
  };
  r.merge_edge_info_in_ranges(entries);
  EXPECT_EQ(r.edge_lists(0)[0], (List{3}));
  EXPECT_EQ(r.edge_lists(0)[1], (List{3, 8}));
  const PolygonEdgePair pairs[] = {{{1, 2}, {1, 1}}, {{1, 0}, PolygonEdge{}}};
  r.merge_edge_info(pairs);
  EXPECT_EQ(r.edge_lists(1)[2], (List{8}));
  EXPECT_TRUE(r.edge_lists(1)[0].empty());
}

TEST(MacroEdgeChain, WalksTheMarksAndStopsWhereTheyBreakOff) {
  Grid grid(2);
  auto& r = grid.remesher;
  // Border edges 0 -> 1 (t0, edge 0) and 1 -> 2 (t2, edge 0) carry macro edge 0.
  r.macro_edges = {{0, 2}};
  r.macro_edge_sides = {{NO_ID, NO_ID}};
  r.set_edge_list({0, 0}, {0});
  r.set_edge_list({2, 0}, {0});
  const auto chain = r.macro_edge_chain(0, 2, 0);
  ASSERT_EQ(chain.size(), 2u);
  EXPECT_EQ(chain[0].edge, (PolygonEdge{0, 0}));
  EXPECT_EQ(chain[1].edge, (PolygonEdge{2, 0}));
  EXPECT_TRUE(chain[0].forward && chain[1].forward);
  const auto back = r.macro_edge_chain(2, 0, 0);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_FALSE(back[0].forward);

  // A stored macro edge reaching its own end before b.
  EXPECT_THROW(r.macro_edge_chain(0, 5, 0), absl::bad_optional_access);
  // No mark at the start.
  EXPECT_THROW(r.macro_edge_chain(4, 2, 0), std::out_of_range);

  // A reserved index walked past its marks would turn back for ever.
  r.set_edge_list({0, 0}, {1});
  r.set_edge_list({2, 0}, {1});
  try {
    r.macro_edge_chain(0, 5, 1);
    FAIL() << "no exception";
  } catch (UlvaneException const& error) {
    EXPECT_STREQ(error.what(),
                 "[FrontalRemesher::macro_edge_chain] The chain of macro edge 1 breaks off at "
                 "vertex 2 before reaching vertex 5");
  }
}

}  // namespace
}  // namespace test
}  // namespace tarnix
