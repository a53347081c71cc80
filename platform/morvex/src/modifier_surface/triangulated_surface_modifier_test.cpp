#include <morvex/modifier_surface/triangulated_surface_modifier.h>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>

#include "mesh/surface_fixtures.h"
#include "mesh/surface_validity.h"
#include "mesh/test_attribute.h"
#include "modifier_test_support.h"

namespace tarnix {
namespace {

template <index_t D>
Point<D> at(double x, double y) {
  Point<D> point;
  point.set_value(0, x);
  point.set_value(1, y);
  return point;
}

// A surface, its builder and a modifier on them.
template <index_t D>
struct Edited {
  explicit Edited(std::unique_ptr<TriangulatedSurface<D>> surface)
      : mesh(std::move(surface)),
        builder(TriangulatedSurfaceBuilder<D>::create(*mesh)),
        modifier(*mesh, *builder) {}
  std::unique_ptr<TriangulatedSurface<D>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<D>> builder;
  TriangulatedSurfaceModifier<D> modifier;
};

template <typename Dimension>
class TriangulatedSurfaceModifierTest : public ::testing::Test {};
using Dimensions = ::testing::Types<std::integral_constant<index_t, 2>,
                                    std::integral_constant<index_t, 3>>;
TYPED_TEST_SUITE(TriangulatedSurfaceModifierTest, Dimensions);

// The 2 x 2 grid: vertex 4 is the only inner vertex.
//
//     6 --- 7 --- 8
//     | 5 / | 7 / |
//     | / 4 | / 6 |
//     3 --- 4 --- 5
//     | 1 / | 3 / |
//     | / 0 | / 2 |
//     0 --- 1 --- 2
TYPED_TEST(TriangulatedSurfaceModifierTest, SplitTriangleMakesThreePiecesAroundANewVertex) {
  constexpr index_t D = TypeParam::value;
  Edited<D> edited{test::make_grid<D>(2)};
  auto& mesh = *edited.mesh;
  auto x_value = test::TestAttribute<double>::attach(mesh.vertex_attribute_manager(), "x", 0.0,
                                                     ATTRIBUTE_DERIVABLE);
  auto plain_value =
      test::TestAttribute<double>::attach(mesh.vertex_attribute_manager(), "plain", -1.0);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) {
    x_value->set_value(v, mesh.point(v).value(0));
    plain_value->set_value(v, 5.0);
  }
  auto coverage = test::TestAttribute<index_t>::attach(mesh.polygon_attribute_manager(),
                                                       "coverage", NO_ID, ATTRIBUTE_DERIVABLE);
  auto marks = test::TestAttribute<index_t>::attach(mesh.polygon_attribute_manager(), "marks",
                                                    NO_ID);
  coverage->set_value(4, 17);
  marks->set_value(4, 23);

  // Triangle 4 is (3, 4, 7) = (0, 1), (1, 1), (1, 2).
  const Point<D> point = at<D>(0.75, 1.25);
  const auto info = edited.modifier.split_triangle(4, point);

  EXPECT_EQ(info.vertex, 9u);
  EXPECT_EQ(mesh.point(info.vertex), point);
  EXPECT_DOUBLE_EQ(x_value->value(info.vertex), 0.75);
  EXPECT_EQ(plain_value->value(info.vertex), -1.0);
  ASSERT_EQ(mesh.nb_polygons(), 11u);
  EXPECT_FALSE(edited.modifier.is_triangle_active(4));
  for (index_t t = 8; t < 11; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(coverage->value(t), 17u);
    EXPECT_EQ(marks->value(t), NO_ID);
    // Each piece keeps two old vertices at their old local places.
    const std::array<index_t, 3> old{{3, 4, 7}};
    int kept = 0;
    for (local_index_t v = 0; v < 3; ++v) kept += mesh.polygon_vertex({t, v}) == old[v];
    EXPECT_EQ(kept, 2);
  }
  // The removed triangle still holds its values for the record's readers.
  EXPECT_EQ(marks->value(4), 23u);
  EXPECT_EQ(info.replacing_edges.size(), 3u);
  EXPECT_EQ(info.interior_edges.size(), 6u);
  EXPECT_TRUE(test::is_complete_split_record(mesh, 8, info.replacing_edges, info.interior_edges));
  test::expect_valid_surface(mesh);
}

TYPED_TEST(TriangulatedSurfaceModifierTest, EditsOfRemovedTrianglesAreErrors) {
  constexpr index_t D = TypeParam::value;
  Edited<D> edited{test::make_grid<D>(2)};
  edited.modifier.split_triangle(4, at<D>(0.75, 1.25));
  EXPECT_THROW(edited.modifier.split_triangle(4, at<D>(0.75, 1.25)), UlvaneException);
  EXPECT_THROW(edited.modifier.collapse_edge({4, 0}, at<D>(0, 1)), UlvaneException);
}

TYPED_TEST(TriangulatedSurfaceModifierTest, BuilderOfAnotherSurfaceIsRefused) {
  constexpr index_t D = TypeParam::value;
  auto mesh = test::make_grid<D>(1);
  auto other = test::make_grid<D>(1);
  auto builder = TriangulatedSurfaceBuilder<D>::create(*other);
  EXPECT_THROW((TriangulatedSurfaceModifier<D>{*mesh, *builder}), UlvaneException);
}

TEST(TriangulatedSurfaceModifier2DTest, SplitTriangleRefusesPointsNotStrictlyInside) {
  Edited<2> edited{test::make_grid<2>(2)};
  const auto before = test::snapshot(*edited.mesh);
  // On edge 3 -> 4, on vertex 4, beyond edge 4 -> 7.
  for (auto const& point : {at<2>(0.5, 1.0), at<2>(1.0, 1.0), at<2>(1.2, 1.5)}) {
    SCOPED_TRACE(point);
    EXPECT_THROW(edited.modifier.split_triangle(4, point), UlvaneException);
  }
  EXPECT_EQ(test::snapshot(*edited.mesh), before);
}

TEST(TriangulatedSurfaceModifier3DTest, SplitTriangleTakesAPointOffTheTrianglePlane) {
  Edited<3> edited{test::make_grid<3>(2)};
  const Point<3> point{{{0.75, 1.25, 0.5}}};
  const auto info = edited.modifier.split_triangle(4, point);
  EXPECT_EQ(edited.mesh->point(info.vertex), point);
  test::expect_valid_surface(*edited.mesh);
}

// The 3 x 3 grid; inner vertices 5, 6, 9, 10. Triangle 8 is (5, 6, 10), its
// edge 0 runs 5 -> 6 and its twin is edge 1 of triangle 3 = (1, 6, 5).
TYPED_TEST(TriangulatedSurfaceModifierTest, CollapseKeepsTheEndAtTheTargetPoint) {
  constexpr index_t D = TypeParam::value;
  struct Case {
    char const* name;
    Point<D> target;
    index_t remaining;
  };
  const Case cases[] = {
      {"onto the first end", at<D>(1, 1), 5},
      {"onto the second end", at<D>(2, 1), 6},
      {"onto the midpoint", at<D>(1.5, 1), 5},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Edited<D> edited{test::make_grid<D>(3)};
    auto& mesh = *edited.mesh;
    auto ids = test::TestAttribute<index_t>::attach(mesh.vertex_attribute_manager(), "ids", NO_ID,
                                                    ATTRIBUTE_DERIVABLE);
    for (index_t v = 0; v < mesh.nb_vertices(); ++v) ids->set_value(v, v);
    const index_t merged = c.remaining == 5 ? 6 : 5;

    const auto info = edited.modifier.collapse_edge({8, 0}, c.target);

    EXPECT_EQ(info.vertex, c.remaining);
    ASSERT_EQ(info.merged.size(), 1u);
    EXPECT_EQ(info.merged[0], merged);
    EXPECT_EQ(mesh.point(c.remaining), c.target);
    EXPECT_FALSE(edited.modifier.is_triangle_active(8));
    EXPECT_FALSE(edited.modifier.is_triangle_active(3));
    EXPECT_FALSE(mesh.associated_polygon_vertex(merged));
    EXPECT_EQ(ids->value(merged), merged);
    EXPECT_EQ(edited.modifier.updated_vertex(merged), c.remaining);
    EXPECT_EQ(edited.modifier.updated_vertex(c.remaining), c.remaining);
    // 6 inner edges at 5 and at 6, minus the edge and the two it folds.
    EXPECT_EQ(mesh.polygons_around_vertex(c.remaining).size(), 8u);
    for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
      if (!mesh.is_polygon_active(t)) continue;
      for (local_index_t v = 0; v < 3; ++v) EXPECT_NE(mesh.polygon_vertex({t, v}), merged);
    }
    test::expect_valid_surface(mesh);
  }
}

TYPED_TEST(TriangulatedSurfaceModifierTest, CollapseOfABorderEdgeRemovesOneTriangle) {
  constexpr index_t D = TypeParam::value;
  Edited<D> edited{test::make_grid<D>(3)};
  auto& mesh = *edited.mesh;
  // Triangle 0 = (0, 1, 5), its edge 0 runs 0 -> 1 on the border.
  const auto info = edited.modifier.collapse_edge({0, 0}, at<D>(0, 0));
  EXPECT_EQ(info.vertex, 0u);
  EXPECT_FALSE(edited.modifier.is_triangle_active(0));
  index_t active = 0;
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) active += mesh.is_polygon_active(t);
  EXPECT_EQ(active, 17u);
  // The neighbours across (1, 5) and (5, 0) are now twins.
  EXPECT_TRUE(mesh.polygon_edge_from_vertices(0, 5));
  EXPECT_TRUE(mesh.polygon_edge_from_vertices(5, 0));
  test::expect_valid_surface(mesh);
}

TYPED_TEST(TriangulatedSurfaceModifierTest, UpdatedVertexFollowsChainsOfMerges) {
  constexpr index_t D = TypeParam::value;
  // The 4 x 4 grid: 7 into 6, then 6 into 12, then 12 into 13.
  Edited<D> edited{test::make_grid<D>(4)};
  auto& mesh = *edited.mesh;
  auto& modifier = edited.modifier;
  struct Step {
    index_t from;
    index_t to;
    Point<D> target;
    index_t remaining;
  };
  const Step steps[] = {{6, 7, at<D>(1.5, 1), 6}, {12, 6, at<D>(2, 2), 12}, {12, 13, at<D>(3, 2), 13}};
  for (auto const& step : steps) {
    const auto edge = mesh.polygon_edge_from_vertices(step.from, step.to);
    ASSERT_TRUE(edge);
    ASSERT_EQ(modifier.collapse_edge(*edge, step.target).vertex, step.remaining);
  }
  for (const index_t vertex : {6u, 7u, 12u, 13u}) {
    EXPECT_EQ(modifier.updated_vertex(vertex), 13u) << vertex;
  }
  EXPECT_EQ(modifier.updated_vertex(0), 0u);
  test::expect_valid_surface(mesh);
}

TYPED_TEST(TriangulatedSurfaceModifierTest, CleanDropsRemovedElementsInOrder) {
  constexpr index_t D = TypeParam::value;
  Edited<D> edited{test::make_grid<D>(3)};
  auto& mesh = *edited.mesh;
  auto ids = test::TestAttribute<index_t>::attach(mesh.vertex_attribute_manager(), "ids", NO_ID);
  auto triangle_ids =
      test::TestAttribute<index_t>::attach(mesh.polygon_attribute_manager(), "ids", NO_ID);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) ids->set_value(v, v);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) triangle_ids->set_value(t, t);
  edited.modifier.collapse_edge({8, 0}, mesh.point(5));

  const auto mappings = edited.modifier.clean();

  ASSERT_EQ(mesh.nb_vertices(), 15u);
  ASSERT_EQ(mesh.nb_polygons(), 16u);
  EXPECT_EQ(mappings.vertices[6], NO_ID);
  EXPECT_EQ(mappings.vertices[7], 6u);
  EXPECT_EQ(mappings.polygons[3], NO_ID);
  EXPECT_EQ(mappings.polygons[8], NO_ID);
  EXPECT_EQ(mappings.polygons[9], 7u);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) EXPECT_EQ(ids->value(v), v < 6 ? v : v + 1);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) {
    EXPECT_EQ(triangle_ids->value(t), t < 3 ? t : (t < 7 ? t + 1 : t + 2));
  }
  // Ids recorded before the clean no longer translate.
  EXPECT_EQ(edited.modifier.updated_vertex(6), 6u);
  test::expect_valid_surface(mesh);

  const auto before = test::snapshot(mesh);
  const auto identity = edited.modifier.clean();
  EXPECT_EQ(test::snapshot(mesh), before);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) EXPECT_EQ(identity.vertices[v], v);
  for (index_t t = 0; t < mesh.nb_polygons(); ++t) EXPECT_EQ(identity.polygons[t], t);
}

TYPED_TEST(TriangulatedSurfaceModifierTest, CleanTrianglesKeepsEveryVertex) {
  constexpr index_t D = TypeParam::value;
  Edited<D> edited{test::make_grid<D>(3)};
  auto& mesh = *edited.mesh;
  edited.modifier.collapse_edge({8, 0}, mesh.point(5));
  edited.modifier.split_triangle(0, at<D>(0.75, 0.25));
  const index_t nb_vertices = mesh.nb_vertices();

  const auto old2new = edited.modifier.clean_triangles();

  EXPECT_EQ(mesh.nb_vertices(), nb_vertices);
  EXPECT_EQ(mesh.nb_polygons(), 18u - 3u + 3u);
  EXPECT_EQ(old2new[0], NO_ID);
  EXPECT_EQ(old2new[1], 0u);
  EXPECT_EQ(edited.modifier.updated_vertex(6), 5u);
  test::expect_valid_surface(mesh);
}

struct ValidityCase {
  char const* name;
  PolygonEdge edge;
  Point<2> target;
  bool valid;
};

TEST(IsCollapseEdgeValidTest, DecidesOnTheThreeByThreeGrid) {
  // Triangle 4 = (2, 3, 7): its edge 2 runs 7 -> 2 inside, between two
  // border vertices. Triangle 0 = (0, 1, 5) has the border edge 0 -> 1.
  const ValidityCase cases[] = {
      {"inner edge onto an end", {8, 0}, at<2>(1, 1), true},
      {"inner edge onto its midpoint", {8, 0}, at<2>(1.5, 1), true},
      {"border edge onto an end", {0, 0}, at<2>(0, 0), true},
      {"inner edge between border vertices", {4, 2}, at<2>(3, 1), false},
      {"target folds the fan over", {8, 0}, at<2>(3.5, 1.2), false},
      {"target flattens a triangle", {8, 0}, at<2>(2, 0), false},
  };
  auto mesh = test::make_grid<2>(3);
  const auto before = test::snapshot(*mesh);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(is_collapse_edge_valid(*mesh, c.edge, c.target), c.valid);
  }
  EXPECT_EQ(test::snapshot(*mesh), before);
}

TEST(IsCollapseEdgeValidTest, RefusesLinkBreakingAndDegenerateCollapses) {
  // Splitting triangle 8 = (5, 6, 10) gives 10 a third common neighbour
  // with 5 and 6 across the piece's edge 5 -> 6.
  Edited<2> split{test::make_grid<2>(3)};
  split.modifier.split_triangle(8, at<2>(1.75, 1.25));
  EXPECT_FALSE(is_collapse_edge_valid(*split.mesh, {18, 0}, at<2>(1, 1)));
  EXPECT_FALSE(is_collapse_edge_valid(*split.mesh, {8, 0}, at<2>(1, 1))) << "removed triangle";

  auto lone = test::make_surface<2>({{{0, 0}}, {{1, 0}}, {{0, 1}}}, {{{0, 1, 2}}});
  EXPECT_FALSE(is_collapse_edge_valid(*lone, {0, 0}, at<2>(0, 0)));
}

// The topological half agrees with the whole check wherever the geometry
// does not decide, and ignores where the ends go.
TEST(IsCollapseEdgeLinkValidTest, DecidesTopologyOnly) {
  auto mesh = test::make_grid<2>(3);
  EXPECT_TRUE(is_collapse_edge_link_valid(*mesh, {8, 0}));
  EXPECT_TRUE(is_collapse_edge_link_valid(*mesh, {0, 0}));
  EXPECT_FALSE(is_collapse_edge_link_valid(*mesh, {4, 2})) << "inside edge between border vertices";

  Edited<2> split{test::make_grid<2>(3)};
  split.modifier.split_triangle(8, at<2>(1.75, 1.25));
  EXPECT_FALSE(is_collapse_edge_link_valid(*split.mesh, {18, 0})) << "link condition";
  EXPECT_FALSE(is_collapse_edge_link_valid(*split.mesh, {8, 0})) << "removed triangle";

  auto lone = test::make_surface<2>({{{0, 0}}, {{1, 0}}, {{0, 1}}}, {{{0, 1, 2}}});
  EXPECT_FALSE(is_collapse_edge_link_valid(*lone, {0, 0}));

  auto lone3 = test::make_surface<3>({{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 1}}}, {{{0, 1, 2}}});
  EXPECT_FALSE(is_collapse_edge_link_valid(*lone3, {0, 0}));
}

}  // namespace
}  // namespace tarnix
