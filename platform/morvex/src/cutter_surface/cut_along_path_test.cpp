#include <random>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <mesh/test_attribute.h>
#include <morvex/cutter_surface.h>
#include <ulvane/basic/ulvane_exception.h>

#include "cutter_test_support.h"

namespace tarnix {
namespace {

using test::CutFixture;
using test::grid_vertex;

//! How much of a cut to check.
enum class Check { none, lists, all };

//! Cuts a -> b on the fixture and checks the result against the surface
//! before the cut: the lists and the chain, and the validity of the whole
//! surface with `Check::all`.
void expect_sound_straight_cut(CutFixture& fixture, index_t a, index_t b,
                               Check check = Check::all) {
  const auto before = check == Check::none ? nullptr : fixture.surface->clone();
  const auto cut = test::cut_straight(fixture, a, b);
  ASSERT_TRUE(cut) << "no straight path from " << a << " to " << b;
  if (!before) return;
  EXPECT_TRUE(test::is_sound_cut(*before, *fixture.surface, a, b, cut->cuts, cut->info,
                                 check == Check::all));
}

TEST(CutAlongPath, CutsAStructuredGridAtManyAngles) {
  constexpr index_t n = 6;
  const auto v = [](index_t i, index_t j) { return grid_vertex(n, i, j); };
  struct Case {
    char const* name;
    index_t a;
    index_t b;
  };
  const Case cases[] = {
      {"an existing edge", v(2, 2), v(3, 2)},
      {"an existing diagonal, backwards", v(3, 3), v(2, 2)},
      {"along the bottom border", v(0, 0), v(6, 0)},
      {"along the left border, downwards", v(0, 6), v(0, 0)},
      {"along the right border, upwards", v(6, 0), v(6, 6)},
      {"along the diagonals", v(0, 0), v(6, 6)},
      {"against the diagonals", v(6, 0), v(0, 6)},
      {"through vertices", v(0, 0), v(4, 2)},
      {"steep", v(0, 0), v(1, 6)},
      {"shallow", v(0, 1), v(6, 2)},
      {"knight move", v(1, 1), v(2, 3)},
      {"from the inside to the border", v(3, 3), v(6, 1)},
      {"from the border to the inside", v(0, 5), v(4, 2)},
      {"corner to corner, crossing", v(0, 1), v(5, 6)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    CutFixture fixture{test::make_grid<2>(n)};
    expect_sound_straight_cut(fixture, c.a, c.b);
  }
}

TEST(CutAlongPath, CutsAJitteredGridTowardsEveryBorderVertex) {
  // From the centre to each border vertex: every direction of the ring, on
  // a fresh surface each time and then all on one surface.
  constexpr index_t n = 8;
  std::vector<index_t> ring;
  for (index_t i = 0; i < n; ++i) ring.push_back(grid_vertex(n, i, 0));
  for (index_t j = 0; j < n; ++j) ring.push_back(grid_vertex(n, n, j));
  for (index_t i = n; i > 0; --i) ring.push_back(grid_vertex(n, i, n));
  for (index_t j = n; j > 0; --j) ring.push_back(grid_vertex(n, 0, j));
  const index_t centre = grid_vertex(n, n / 2, n / 2);
  CutFixture star{test::make_jittered_grid(n, 0.2, 11)};
  for (const index_t b : ring) {
    SCOPED_TRACE(b);
    CutFixture fixture{test::make_jittered_grid(n, 0.2, 11)};
    expect_sound_straight_cut(fixture, centre, b);
    expect_sound_straight_cut(star, centre, b);
  }
}

TEST(CutAlongPath, CutsAlongAnExistingChainWithoutChange) {
  // The second cut along the same segment finds the chain of the first,
  // in either direction: nothing is created, both lists still name the
  // chain's edges.
  CutFixture fixture{test::make_jittered_grid(6, 0.2, 5)};
  const index_t a = grid_vertex(6, 0, 1);
  const index_t b = grid_vertex(6, 6, 4);
  expect_sound_straight_cut(fixture, a, b);
  const index_t nb_polygons = fixture.surface->nb_polygons();
  for (auto const& [from, to] : {std::pair{a, b}, std::pair{b, a}}) {
    const auto before = fixture.surface->clone();
    const auto cut = test::cut_straight(fixture, from, to);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->info.created_vertices.empty());
    EXPECT_TRUE(cut->info.first.empty());
    EXPECT_EQ(fixture.surface->nb_polygons(), nb_polygons);
    EXPECT_FALSE(cut->info.second.empty());
    EXPECT_TRUE(test::is_sound_cut(*before, *fixture.surface, from, to, cut->cuts, cut->info));
  }
}

TEST(CutAlongPath, ListsAnEdgeAlreadyJoiningTheEnds) {
  // Edge 0 -> 1 of the grid lies on the border: only the a-to-b polygon
  // edge exists, in the second list. The diagonal from 4 to 0 has both:
  // 4 -> 0 in triangle 0 = (0, 1, 4), 0 -> 4 in triangle 1 = (0, 4, 3).
  CutFixture fixture{test::make_grid<2>(2)};
  const auto on_border = cut_along_path<2>(*fixture.surface, *fixture.builder, 0, 1, {});
  ASSERT_EQ(on_border.second.size(), 1U);
  EXPECT_EQ(on_border.second[0].new_edge, (PolygonEdge{0, 0}));
  EXPECT_TRUE(on_border.third.empty());
  const auto inner = cut_along_path<2>(*fixture.surface, *fixture.builder, 4, 0, {});
  ASSERT_EQ(inner.second.size(), 1U);
  ASSERT_EQ(inner.third.size(), 1U);
  EXPECT_EQ(inner.second[0].new_edge, (PolygonEdge{0, 2}));
  EXPECT_EQ(inner.third[0].new_edge, (PolygonEdge{1, 0}));
  EXPECT_EQ(fixture.surface->nb_polygons(), 8U);
}

TEST(CutAlongPath, NamesTheReplacedEdgesOfAWorkedExample) {
  // Cut from 0 (0, 0) to 7 (1, 2) on the 2 x 2 grid: X = (0.5, 1) on edge
  // 4 -> 3 of triangle 1 = (0, 4, 3), whose twin is 3 -> 4 of triangle
  // 4 = (3, 4, 7).
  //
  //     6 --- 7 --- 8
  //     |   / |   / |
  //     3 -X- 4 --- 5
  //     |   / |   / |
  //     0 --- 1 --- 2
  CutFixture fixture{test::make_grid<2>(2)};
  auto const& surface = *fixture.surface;
  const auto cut = test::cut_straight(fixture, 0, 7);
  ASSERT_TRUE(cut);
  ASSERT_EQ(cut->info.created_vertices.size(), 1U);
  const index_t x = cut->info.created_vertices[0].vertex;
  EXPECT_EQ(x, 9U);
  EXPECT_FALSE(surface.is_polygon_active(1));
  EXPECT_FALSE(surface.is_polygon_active(4));
  // Pieces, in the vertex order of their triangles: (0, 4, X), (0, X, 3)
  // from triangle 1, then (3, X, 7), (X, 4, 7) from triangle 4.
  const std::vector<std::array<index_t, 3>> pieces{{0, 4, x}, {0, x, 3}, {3, x, 7}, {x, 4, 7}};
  ASSERT_EQ(surface.nb_polygons(), 12U);
  for (index_t k = 0; k < 4; ++k) {
    std::array<index_t, 3> vertices{};
    for (local_index_t l = 0; l < 3; ++l) vertices[l] = surface.polygon_vertex({8 + k, l});
    EXPECT_EQ(vertices, pieces[k]) << "piece " << k;
  }
  // Chain 0 -> X -> 7: both of its input edges are inside the surface.
  ASSERT_EQ(cut->info.second.size(), 2U);
  ASSERT_EQ(cut->info.third.size(), 2U);
  EXPECT_EQ(cut->info.second[0].new_edge, (PolygonEdge{9, 0}));
  EXPECT_EQ(cut->info.third[0].new_edge, (PolygonEdge{8, 2}));
  EXPECT_EQ(cut->info.second[1].new_edge, (PolygonEdge{10, 1}));
  EXPECT_EQ(cut->info.third[1].new_edge, (PolygonEdge{11, 2}));
  for (auto const* list : {&cut->info.second, &cut->info.third}) {
    for (auto const& entry : *list) EXPECT_TRUE(entry.replaced.empty());
  }
  // The pieces of 4 -> 3 and 3 -> 4 replace them.
  const auto replaced_of = [&cut](PolygonEdge const& edge) {
    for (auto const& entry : cut->info.first) {
      if (entry.new_edge == edge) return entry.replaced;
    }
    return absl::InlinedVector<PolygonEdge, 1>{};
  };
  using Replaced = absl::InlinedVector<PolygonEdge, 1>;
  EXPECT_EQ(replaced_of({8, 1}), (Replaced{{1, 1}}));   // 4 -> X
  EXPECT_EQ(replaced_of({9, 1}), (Replaced{{1, 1}}));   // X -> 3
  EXPECT_EQ(replaced_of({10, 0}), (Replaced{{4, 0}}));  // 3 -> X
  EXPECT_EQ(replaced_of({11, 0}), (Replaced{{4, 0}}));  // X -> 4
  EXPECT_EQ(replaced_of({8, 0}), (Replaced{{1, 0}}));   // 0 -> 4, moved
  EXPECT_TRUE(test::is_valid_surface(surface));
}

TEST(CutAlongPath, DerivesTheAttributesOfCreatedElements) {
  // A derivable vertex attribute is interpolated at a created vertex, a
  // plain one gets its default; pieces copy derivable polygon values.
  CutFixture fixture{test::make_grid<2>(4)};
  auto& vertices = fixture.surface->vertex_attribute_manager();
  auto x = test::TestAttribute<double>::attach(vertices, "x", -1.0, ATTRIBUTE_DERIVABLE);
  auto plain = test::TestAttribute<double>::attach(vertices, "plain", -1.0);
  for (index_t v = 0; v < fixture.surface->nb_vertices(); ++v) {
    x->set_value(v, fixture.surface->point(v).value(0));
    plain->set_value(v, 5.0);
  }
  const auto cut = test::cut_straight(fixture, grid_vertex(4, 0, 0), grid_vertex(4, 3, 4));
  ASSERT_TRUE(cut);
  ASSERT_FALSE(cut->info.created_vertices.empty());
  for (auto const& created : cut->info.created_vertices) {
    EXPECT_NEAR(x->value(created.vertex), fixture.surface->point(created.vertex).value(0), 1e-12);
    EXPECT_EQ(plain->value(created.vertex), -1.0);
  }
}

TEST(CutAlongPath, RefusesInvalidCutsAndLeavesTheSurfaceUnchanged) {
  // Cuts on the 2 x 2 grid (see the worked example above).
  const Point<2> middle{{0.5, 1.0}};
  struct Case {
    char const* name;
    index_t a;
    index_t b;
    std::vector<GeometricSurfacePath<2>> cuts;
    char const* message;
  };
  const Case cases[] = {
      {"the same ends", 4, 4, {}, "Both ends are vertex 4"},
      {"an unknown vertex", 0, 99, {}, "Unknown vertex 99"},
      {"ends that share no edge", 0, 8, {}, "share no edge"},
      {"a point away from the chain", 0, 8, {{{1, 1}, middle, NO_ID}}, "share no edge"},
      {"a vertex passed twice",
       0,
       8,
       {{{0, 1}, Point<2>{}, 4}, {{0, 0}, Point<2>{}, 0}},
       "pass vertex 0 twice"},
      {"an edge crossed twice",
       0,
       7,
       {{{1, 1}, middle, NO_ID}, {{4, 0}, middle, NO_ID}},
       "cross the edge 3-4 twice"},
      {"a point at an end of its edge",
       0,
       7,
       {{{1, 1}, Point<2>{{0.0, 1.0}}, NO_ID}},
       "would fold triangle"},
      {"a point outside its edge",
       0,
       7,
       {{{1, 1}, Point<2>{{0.5, 1.5}}, NO_ID}},
       "would fold triangle"},
      {"an unknown edge", 0, 7, {{{99, 0}, middle, NO_ID}}, "of no active triangle"},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    CutFixture fixture{test::make_grid<2>(2)};
    EXPECT_FALSE(is_cut_along_path_valid<2>(*fixture.surface, c.a, c.b, c.cuts));
    EXPECT_EQ(SurfaceCutPlan::create(*fixture.surface, c.a, c.b, c.cuts), nullptr);
    try {
      cut_along_path<2>(*fixture.surface, *fixture.builder, c.a, c.b, c.cuts);
      ADD_FAILURE() << "no exception";
    } catch (UlvaneException const& error) {
      EXPECT_THAT(error.what(), ::testing::StartsWith("[cut_along_path]"));
      EXPECT_THAT(error.what(), ::testing::HasSubstr(c.message));
    }
    EXPECT_EQ(fixture.surface->nb_vertices(), 9U);
    EXPECT_EQ(fixture.surface->nb_polygons(), 8U);
    for (index_t t = 0; t < 8; ++t) EXPECT_TRUE(fixture.surface->is_polygon_active(t));
  }
}

TEST(CutAlongPath, RefusesHandlesOfTrianglesAnEarlierCutRemoved) {
  CutFixture fixture{test::make_grid<2>(2)};
  const auto first = test::cut_straight(fixture, 0, 7);
  ASSERT_TRUE(first);
  const index_t nb_polygons = fixture.surface->nb_polygons();
  EXPECT_THROW(cut_along_path<2>(*fixture.surface, *fixture.builder, 0, 7, first->cuts),
               UlvaneException);
  EXPECT_EQ(fixture.surface->nb_polygons(), nb_polygons);
}

// A plan made now and applied later makes the cut `cut_along_path` makes,
// once.
TEST(SurfaceCutPlan, MakesThePlannedCutOnce) {
  CutFixture reference{test::make_jittered_grid(6, 0.2, 5)};
  const auto cut = test::cut_straight(reference, 1, 40);
  ASSERT_TRUE(cut);
  CutFixture fixture{test::make_jittered_grid(6, 0.2, 5)};
  test::number_parents(fixture);
  const auto before = fixture.surface->clone();
  auto plan = SurfaceCutPlan::create(*fixture.surface, 1, 40, cut->cuts);
  ASSERT_NE(plan, nullptr);
  EXPECT_EQ(plan->start(), 1U);
  EXPECT_EQ(plan->end(), 40U);
  EXPECT_EQ(fixture.surface->nb_polygons(), before->nb_polygons());
  const auto other = test::make_grid<2>(2);
  auto other_builder = TriangulatedSurfaceBuilder<2>::create(*other);
  EXPECT_THROW(plan->apply(*other_builder), UlvaneException);
  const SurfaceCutPathInfo info = plan->apply(*fixture.builder);
  EXPECT_TRUE(test::is_sound_cut(*before, *fixture.surface, 1, 40, cut->cuts, info));
  EXPECT_EQ(fixture.surface->nb_polygons(), reference.surface->nb_polygons());
  EXPECT_EQ(info.first.size(), cut->info.first.size());
  EXPECT_EQ(info.third.size(), cut->info.third.size());
  EXPECT_THROW(plan->apply(*fixture.builder), UlvaneException);
}

TEST(CutAlongPath, RefusesABuilderOfAnotherSurface) {
  CutFixture fixture{test::make_grid<2>(2)};
  const auto other = test::make_grid<2>(2);
  EXPECT_THROW(cut_along_path<2>(*other, *fixture.builder, 0, 4, {}), UlvaneException);
}

TEST(CutAlongPath, KeepsEveryRuleOverRandomCuts) {
  // Random vertex pairs on one jittered grid; every cut is checked against
  // the surface before it, so later cuts cross the chains of earlier ones.
  // The full validity check runs every 10 cuts and at the end.
  constexpr index_t n = 12;
  CutFixture fixture{test::make_jittered_grid(n, 0.2, 2024)};
  std::mt19937 random{42};
  std::uniform_int_distribution<index_t> vertex{0, (n + 1) * (n + 1) - 1};
  index_t nb_cuts = 0;
  for (int attempt = 0; attempt < 150; ++attempt) {
    const index_t a = vertex(random);
    const index_t b = vertex(random);
    if (a == b || !detail::find_straight_surface_path(*fixture.surface, a, b)) continue;
    SCOPED_TRACE(::testing::Message() << "cut " << a << " -> " << b);
    expect_sound_straight_cut(fixture, a, b, nb_cuts % 10 == 0 ? Check::all : Check::lists);
    if (HasFailure()) return;
    ++nb_cuts;
  }
  EXPECT_GT(nb_cuts, 100U);
  EXPECT_TRUE(test::is_valid_surface(*fixture.surface));
}

TEST(CutAlongPath, RunsManyCutsOnALargeSurface) {
  // About 50000 triangles, and 200 long cuts of some 250 crossings each. Every
  // tenth cut is checked against the surface before it (that copy is the
  // cost), and the whole surface at the end.
  constexpr index_t n = 158;
  CutFixture fixture{test::make_jittered_grid(n, 0.2, 99)};
  ASSERT_GT(fixture.surface->nb_polygons(), 49000U);
  const double area = test::active_area(*fixture.surface);
  std::mt19937 random{7};
  std::uniform_int_distribution<index_t> vertex{0, (n + 1) * (n + 1) - 1};
  index_t nb_cuts = 0;
  for (int attempt = 0; attempt < 300 && nb_cuts < 200; ++attempt) {
    const index_t a = vertex(random);
    const index_t b = vertex(random);
    if (a == b || !detail::find_straight_surface_path(*fixture.surface, a, b)) continue;
    SCOPED_TRACE(::testing::Message() << "cut " << a << " -> " << b);
    expect_sound_straight_cut(fixture, a, b, nb_cuts % 10 == 0 ? Check::lists : Check::none);
    if (HasFailure()) return;
    ++nb_cuts;
  }
  EXPECT_EQ(nb_cuts, 200U);
  EXPECT_TRUE(test::is_valid_surface(*fixture.surface));
  EXPECT_NEAR(test::active_area(*fixture.surface), area, 1e-9 * area);
}

}  // namespace
}  // namespace tarnix
