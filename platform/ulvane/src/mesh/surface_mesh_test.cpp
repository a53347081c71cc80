#include <ulvane/mesh/surface_mesh.h>

#include <stdexcept>
#include <typeinfo>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ulvane/mesh/polygonal_surface.h>
#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include "mesh/surface_fixtures.h"
#include "mesh/surface_validity.h"

namespace tarnix {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;
using Fan = std::vector<PolygonVertex>;

template <typename Range>
Fan as_vector(Range const& range) {
  return Fan(range.begin(), range.end());
}

template <typename Dimension>
class SurfaceMeshQueries : public ::testing::Test {
 protected:
  static constexpr index_t D = Dimension::value;
  // The 2x2 grid of surface_fixtures.h:
  //
  //     6 --- 7 --- 8
  //     | 5 / | 7 / |
  //     | / 4 | / 6 |
  //     3 --- 4 --- 5
  //     | 1 / | 3 / |
  //     | / 0 | / 2 |
  //     0 --- 1 --- 2
  std::unique_ptr<TriangulatedSurface<D>> grid = test::make_grid<D>(2);
};

using Dimensions =
    ::testing::Types<std::integral_constant<index_t, 2>, std::integral_constant<index_t, 3>>;
TYPED_TEST_SUITE(SurfaceMeshQueries, Dimensions);

TYPED_TEST(SurfaceMeshQueries, GridFixtureIsValid) {
  EXPECT_EQ(this->grid->nb_vertices(), 9u);
  EXPECT_EQ(this->grid->nb_polygons(), 8u);
  test::expect_valid_surface(*this->grid);
}

TYPED_TEST(SurfaceMeshQueries, LocalNavigationTurnsModuloThree) {
  auto const& mesh = *this->grid;
  // Triangle 3 is (1, 5, 4).
  EXPECT_EQ(mesh.nb_polygon_vertices(3), 3);
  EXPECT_EQ(mesh.polygon_vertex({3, 1}), 5u);
  EXPECT_EQ(mesh.next_polygon_vertex({3, 2}), PolygonVertex(3, 0));
  EXPECT_EQ(mesh.previous_polygon_vertex({3, 0}), PolygonVertex(3, 2));
  EXPECT_EQ(mesh.next_polygon_edge({3, 1}), PolygonEdge(3, 2));
  EXPECT_EQ(mesh.previous_polygon_edge({3, 0}), PolygonEdge(3, 2));
  // Edge 1 runs 5 -> 4; the previous vertex of its first vertex is opposite.
  EXPECT_EQ(mesh.polygon_edge_vertex({3, 1}, 0), 5u);
  EXPECT_EQ(mesh.polygon_edge_vertex({3, 1}, 1), 4u);
  EXPECT_THAT(mesh.polygon_edge_vertices({3, 2}), ElementsAre(4u, 1u));
  EXPECT_EQ(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{PolygonEdge{3, 1}})),
            1u);
}

TYPED_TEST(SurfaceMeshQueries, AdjacentEdgesAreTwinsOrBorder) {
  auto const& mesh = *this->grid;
  struct Case {
    PolygonEdge edge;
    absl::optional<PolygonEdge> twin;
  } const cases[] = {
      {{0, 2}, PolygonEdge{1, 0}},  // diagonal 4 -> 0
      {{0, 1}, PolygonEdge{3, 2}},  // 1 -> 4
      {{3, 1}, PolygonEdge{6, 0}},  // 5 -> 4, in triangle 6 as 4 -> 5
      {{0, 0}, absl::nullopt},      // 0 -> 1, bottom border
      {{7, 1}, absl::nullopt},      // 8 -> 7, top border
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.edge);
    EXPECT_EQ(mesh.polygon_adjacent_edge(c.edge), c.twin);
    EXPECT_EQ(mesh.is_edge_on_border(c.edge), !c.twin);
    if (c.twin) {
      EXPECT_EQ(mesh.polygon_adjacent(c.edge), c.twin->polygon_id);
    }
  }
}

TYPED_TEST(SurfaceMeshQueries, OutOfRangeHandlesThrow) {
  auto const& mesh = *this->grid;
  EXPECT_THROW(mesh.point(9), std::out_of_range);
  EXPECT_THROW(mesh.polygon_vertex({8, 0}), std::out_of_range);
  EXPECT_THROW(mesh.polygon_vertex({0, 3}), std::out_of_range);
  EXPECT_THROW(mesh.polygon_adjacent({0, 3}), std::out_of_range);
  EXPECT_THROW(mesh.is_polygon_active(8), std::out_of_range);
  EXPECT_THROW(mesh.polygon_edge_vertex({0, 0}, 2), std::out_of_range);
}

TYPED_TEST(SurfaceMeshQueries, FanOrderStartsAtBorderOrAssociatedCorner) {
  auto const& mesh = *this->grid;
  struct Case {
    index_t vertex;
    Fan fan;
  } const cases[] = {
      // Interior: from the associated corner (its first corner, in
      // triangle 0), turning across the edge leaving the vertex.
      {4, {{0, 2}, {1, 1}, {4, 1}, {7, 0}, {6, 0}, {3, 2}}},
      // Border: from the triangle whose edge entering the vertex (0 -> 1)
      // is on the border, to the other border.
      {1, {{0, 1}, {3, 0}, {2, 0}}},
      {3, {{5, 0}, {4, 0}, {1, 2}}},
      {0, {{1, 0}, {0, 0}}},
      {2, {{2, 1}}},
      {8, {{6, 2}, {7, 1}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(::testing::Message() << "vertex " << c.vertex);
    EXPECT_THAT(as_vector(mesh.polygons_around_vertex(c.vertex)), ElementsAreArray(c.fan));
  }
}

TYPED_TEST(SurfaceMeshQueries, FanWithAOneWayAdjacencyStartsWhereTheWalkBackStops) {
  auto& mesh = *this->grid;
  auto builder = TriangulatedSurfaceBuilder<TestFixture::D>::create(mesh);
  // Triangle 0 still points across 4 -> 0 to triangle 1, but triangle 1 no
  // longer points back: turning back from triangle 1 stops there, so the
  // fan of 4 is not taken as closed although turning forward comes round.
  builder->set_polygon_adjacent({1, 0}, NO_ID);
  EXPECT_THAT(as_vector(mesh.polygons_around_vertex(4)),
              ElementsAre(PolygonVertex(1, 1), PolygonVertex(4, 1), PolygonVertex(7, 0),
                          PolygonVertex(6, 0), PolygonVertex(3, 2), PolygonVertex(0, 2)));
}

TYPED_TEST(SurfaceMeshQueries, AssociatedCornerMovesOnlyTheStartOfAnInteriorFan) {
  auto& mesh = *this->grid;
  auto builder = TriangulatedSurfaceBuilder<TestFixture::D>::create(mesh);
  builder->associate_polygon_vertex_to_vertex({7, 0}, 4);
  EXPECT_THAT(as_vector(mesh.polygons_around_vertex(4)),
              ElementsAre(PolygonVertex(7, 0), PolygonVertex(6, 0), PolygonVertex(3, 2),
                          PolygonVertex(0, 2), PolygonVertex(1, 1), PolygonVertex(4, 1)));
  // A border fan still starts at the border.
  builder->associate_polygon_vertex_to_vertex({2, 0}, 1);
  EXPECT_THAT(as_vector(mesh.polygons_around_vertex(1)),
              ElementsAre(PolygonVertex(0, 1), PolygonVertex(3, 0), PolygonVertex(2, 0)));
}

TYPED_TEST(SurfaceMeshQueries, EdgeLookupsByVertices) {
  auto const& mesh = *this->grid;
  EXPECT_EQ(mesh.polygon_edge_from_vertices(4, 0), PolygonEdge(0, 2));
  EXPECT_EQ(mesh.polygon_edge_from_vertices(0, 4), PolygonEdge(1, 0));
  EXPECT_EQ(mesh.polygon_edge_from_vertices(0, 1), PolygonEdge(0, 0));
  EXPECT_FALSE(mesh.polygon_edge_from_vertices(1, 0));  // border: one direction only
  EXPECT_FALSE(mesh.polygon_edge_from_vertices(0, 8));
  EXPECT_THAT(mesh.polygons_from_edge_vertices({{0, 4}}),
              UnorderedElementsAre(PolygonEdge(0, 2), PolygonEdge(1, 0)));
  EXPECT_THAT(mesh.polygons_from_edge_vertices({{1, 0}}), ElementsAre(PolygonEdge(0, 0)));
  EXPECT_TRUE(mesh.polygons_from_edge_vertices({{1, 3}}).empty());
}

TYPED_TEST(SurfaceMeshQueries, LengthsAndBarycenters) {
  auto const& mesh = *this->grid;
  EXPECT_DOUBLE_EQ(mesh.edge_length({0, 0}), 1.0);
  EXPECT_DOUBLE_EQ(mesh.edge_length({0, 2}), std::sqrt(2.0));
  EXPECT_EQ(mesh.edge_barycenter({0, 1}).value(0), 1.0);
  EXPECT_EQ(mesh.edge_barycenter({0, 1}).value(1), 0.5);
  const auto center = mesh.polygon_barycenter(0);  // (0,0), (1,0), (1,1)
  EXPECT_DOUBLE_EQ(center.value(0), 2.0 / 3.0);
  EXPECT_DOUBLE_EQ(center.value(1), 1.0 / 3.0);
  EXPECT_EQ(mesh.triangle(5).vertices()[1], mesh.point(7));  // (3, 7, 6)
}

TYPED_TEST(SurfaceMeshQueries, TypeNamesAreFactoryKeys) {
  const std::string expected = TestFixture::D == 2 ? "TriangulatedSurface2D" : "TriangulatedSurface3D";
  EXPECT_EQ(this->grid->type_name(), expected);
  EXPECT_EQ(this->grid->impl_name(), expected);
  auto polygonal = PolygonalSurface<TestFixture::D>::create();
  EXPECT_EQ(polygonal->type_name(),
            TestFixture::D == 2 ? "PolygonalSurface2D" : "PolygonalSurface3D");
  SurfaceMesh<TestFixture::D> const& as_surface = *polygonal;
  EXPECT_THROW((void)dynamic_cast<TriangulatedSurface<TestFixture::D> const&>(as_surface),
               std::bad_cast);
}

// Two squares touching at vertex 2, which is non-manifold: two fans.
//
//                 6 ----- 5
//                 | t3  / |
//                 | / t2  |
//       3 ----- 2 ------- 4
//       | t1  / |
//       | / t0  |
//       0 ----- 1
class BowTie : public ::testing::Test {
 protected:
  std::unique_ptr<TriangulatedSurface<2>> mesh = test::make_surface<2>(
      {{{0, 0}}, {{1, 0}}, {{1, 1}}, {{0, 1}}, {{2, 1}}, {{2, 2}}, {{1, 2}}},
      {{{0, 1, 2}}, {{0, 2, 3}}, {{2, 4, 5}}, {{2, 5, 6}}});
};

TEST_F(BowTie, FanIsTheAssociatedCornersOnly) {
  test::expect_valid_surface(*mesh);
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(2)),
              ElementsAre(PolygonVertex(0, 2), PolygonVertex(1, 1)));
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  builder->associate_polygon_vertex_to_vertex({2, 0}, 2);
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(2)),
              ElementsAre(PolygonVertex(3, 0), PolygonVertex(2, 0)));
}

TEST_F(BowTie, NextOnBorderStaysInTheFanOfTheGivenEdge) {
  // Whatever fan vertex 2 is associated with, each square's border walk
  // goes round its own square.
  for (const PolygonVertex associated : {PolygonVertex{0, 2}, PolygonVertex{3, 0}}) {
    SCOPED_TRACE(::testing::Message() << "associated " << associated);
    TriangulatedSurfaceBuilder<2>::create(*mesh)->associate_polygon_vertex_to_vertex(associated,
                                                                                     2);
    EXPECT_EQ(mesh->next_on_border({0, 1}), PolygonEdge(1, 1));  // 1->2, then 2->3
    EXPECT_EQ(mesh->next_on_border({3, 2}), PolygonEdge(2, 0));  // 6->2, then 2->4
    std::vector<index_t> lower;
    PolygonEdge edge{0, 0};
    do {
      lower.push_back(mesh->polygon_edge_vertex(edge, 0));
      edge = mesh->next_on_border(edge);
    } while (edge != PolygonEdge{0, 0} && lower.size() < 10);
    EXPECT_THAT(lower, ElementsAre(0u, 1u, 2u, 3u));
  }
}

TEST(NextOnBorder, WalksRoundTheOuterBorderAndAHole) {
  // The 3x3 grid without its centre square (triangles 8 and 9): a hole
  // bounded by 5, 6, 10, 9.
  auto mesh = test::make_grid<2>(3);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  builder->remove_polygon(8);
  builder->remove_polygon(9);
  test::expect_valid_surface(*mesh);

  const auto walk = [&mesh](PolygonEdge start) {
    std::vector<index_t> vertices;
    PolygonEdge edge = start;
    do {
      vertices.push_back(mesh->polygon_edge_vertex(edge, 0));
      edge = mesh->next_on_border(edge);
    } while (edge != start && vertices.size() < 20);
    return vertices;
  };
  EXPECT_THAT(walk({0, 0}), ElementsAre(0u, 1u, 2u, 3u, 7u, 11u, 15u, 14u, 13u, 12u, 8u, 4u));
  // Edge 1 of triangle 3 = (1, 6, 5) runs 6 -> 5 along the hole, which the
  // walk goes round clockwise (the surface on its left).
  ASSERT_TRUE(mesh->is_edge_on_border({3, 1}));
  EXPECT_THAT(walk({3, 1}), ElementsAre(6u, 5u, 9u, 10u));
  EXPECT_THROW(mesh->next_on_border({0, 1}), UlvaneException);
}

class Normals : public ::testing::Test {
 protected:
  // t0 = (0, 1, 2) in z = 0 and t1 = (1, 0, 3) in y = 0, folded along the
  // x axis; t2 = (2, 4, 5) is flat (three collinear points).
  std::unique_ptr<TriangulatedSurface<3>> mesh = test::make_surface<3>(
      {{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}, {{0, 0, 1}}, {{0, 2, 0}}, {{0, 3, 0}}},
      {{{0, 1, 2}}, {{1, 0, 3}}, {{2, 4, 5}}});
};

TEST_F(Normals, FollowTheRightHandRule) {
  const auto n0 = mesh->polygon_normal(0);
  EXPECT_EQ(n0.value(2), 1.0);
  const auto n1 = mesh->new_polygon_normal(1);
  ASSERT_TRUE(n1);
  EXPECT_DOUBLE_EQ(n1->value(1), 1.0);
  EXPECT_DOUBLE_EQ(n1->length(), 1.0);
}

TEST_F(Normals, DegenerateTriangleHasNone) {
  EXPECT_FALSE(mesh->new_polygon_normal(2));
  try {
    mesh->polygon_normal(2);
    FAIL() << "expected an exception";
  } catch (UlvaneException const& e) {
    EXPECT_THAT(e.what(), HasSubstr("[SurfaceMesh::polygon_normal]"));
  }
}

TEST_F(Normals, VertexNormalIsTheMeanOfItsFan) {
  const auto n = mesh->new_polygon_vertex_normal(0);
  ASSERT_TRUE(n);
  EXPECT_DOUBLE_EQ(n->value(0), 0.0);
  EXPECT_DOUBLE_EQ(n->value(1), std::sqrt(0.5));
  EXPECT_DOUBLE_EQ(n->value(2), std::sqrt(0.5));
  // Vertex 4 lies only in the flat triangle.
  EXPECT_FALSE(mesh->new_polygon_vertex_normal(4));
  // Vertex 2: the flat triangle is skipped, the vertex keeps t0's normal.
  auto builder = TriangulatedSurfaceBuilder<3>::create(*mesh);
  builder->associate_polygon_vertex_to_vertex({0, 2}, 2);
  const auto n2 = mesh->new_polygon_vertex_normal(2);
  ASSERT_TRUE(n2);
  EXPECT_EQ(n2->value(2), 1.0);
}

TEST(PolygonalSurface, QuadNormalAndBarycenter) {
  auto mesh = PolygonalSurface<3>::create();
  auto builder = PolygonalSurfaceBuilder<3>::create(*mesh);
  for (auto const& p : {std::array<double, 3>{{0, 0, 0}}, {{2, 0, 0}}, {{2, 2, 0}}, {{0, 2, 0}}}) {
    builder->create_point(Point<3>{p});
  }
  const std::array<index_t, 4> quad{{0, 1, 2, 3}};
  EXPECT_EQ(builder->create_polygon(quad), 0u);
  EXPECT_EQ(mesh->nb_polygon_vertices(0), 4);
  EXPECT_EQ(mesh->polygon_normal(0).value(2), 1.0);
  EXPECT_EQ(mesh->polygon_barycenter(0), Point<3>(std::array<double, 3>{{1, 1, 0}}));
  EXPECT_EQ(mesh->next_polygon_vertex({0, 3}), PolygonVertex(0, 0));
  const std::array<index_t, 2> too_small{{0, 1}};
  EXPECT_THROW(builder->create_polygon(too_small), UlvaneException);
}

// Polygons of several sizes around vertex 0, so no corner position can be
// derived from the polygon index:
//
//   4 ----- 3 ----- 2
//   |  1  / |       |
//   |   /   |   0   |
//   | / 2   |       |
//   5 ----- 0 ----- 1
TEST(PolygonalSurface, FansAndTwinsAcrossPolygonsOfSeveralSizes) {
  auto mesh = PolygonalSurface<2>::create();
  auto builder = PolygonalSurfaceBuilder<2>::create(*mesh);
  for (auto const& p : {std::array<double, 2>{{0, 0}}, {{1, 0}}, {{1, 1}}, {{0, 1}}, {{-1, 1}},
                        {{-1, 0}}}) {
    builder->create_point(Point<2>{p});
  }
  builder->create_polygon(std::array<index_t, 4>{{0, 1, 2, 3}});
  builder->create_polygon(std::array<index_t, 3>{{0, 3, 4}});
  builder->create_polygon(std::array<index_t, 3>{{0, 4, 5}});
  builder->compute_polygon_adjacencies();

  EXPECT_EQ(mesh->polygon_adjacent_edge({1, 0}), PolygonEdge(0, 3));
  EXPECT_EQ(mesh->polygon_adjacent_edge({0, 3}), PolygonEdge(1, 0));
  EXPECT_EQ(mesh->polygon_adjacent_edge({2, 0}), PolygonEdge(1, 2));
  EXPECT_FALSE(mesh->polygon_adjacent_edge({0, 2}));
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(0)),
              ElementsAre(PolygonVertex(2, 0), PolygonVertex(1, 0), PolygonVertex(0, 0)));
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(3)),
              ElementsAre(PolygonVertex(0, 3), PolygonVertex(1, 1)));

  // An adjacency set one way to a polygon that does not hold the edge
  // gives no twin, and the fan stops there as at a border.
  builder->set_polygon_adjacent({2, 2}, 0);
  EXPECT_EQ(mesh->polygon_adjacent({2, 2}), absl::optional<index_t>(0));
  EXPECT_FALSE(mesh->polygon_adjacent_edge({2, 2}));
  EXPECT_THAT(as_vector(mesh->polygons_around_vertex(0)),
              ElementsAre(PolygonVertex(2, 0), PolygonVertex(1, 0), PolygonVertex(0, 0)));
}

}  // namespace
}  // namespace tarnix
