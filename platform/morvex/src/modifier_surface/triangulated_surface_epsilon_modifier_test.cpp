#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>

#include <gtest/gtest.h>

#include <ulvane/basic/ulvane_exception.h>

#include "mesh/surface_fixtures.h"
#include "mesh/surface_validity.h"
#include "mesh/test_attribute.h"
#include "modifier_test_support.h"

namespace tarnix {
namespace {

Point<2> at(double x, double y) { return Point<2>{{{x, y}}}; }

struct Edited {
  Edited() : Edited(test::make_grid<2>(2)) {}
  explicit Edited(std::unique_ptr<TriangulatedSurface<2>> surface)
      : mesh(std::move(surface)),
        builder(TriangulatedSurfaceBuilder<2>::create(*mesh)),
        modifier(*mesh, *builder) {}
  std::unique_ptr<TriangulatedSurface<2>> mesh;
  std::unique_ptr<TriangulatedSurfaceBuilder<2>> builder;
  TriangulatedSurfaceEpsilonModifier<2> modifier;
};

// Both groups' lists as one record, for the completeness check.
PolygonEdgePairs all_replacing(SplitPolygonEdgeInfo const& info) {
  PolygonEdgePairs pairs;
  for (auto const* group : {&info.first, &info.second}) {
    pairs.insert(pairs.end(), group->split_edges.begin(), group->split_edges.end());
    pairs.insert(pairs.end(), group->replacing_edges.begin(), group->replacing_edges.end());
  }
  return pairs;
}
PolygonEdgePairs all_interior(SplitPolygonEdgeInfo const& info) {
  PolygonEdgePairs pairs(info.first.interior_edges.begin(), info.first.interior_edges.end());
  pairs.insert(pairs.end(), info.second.interior_edges.begin(), info.second.interior_edges.end());
  return pairs;
}

// The 2 x 2 grid of `make_grid`. Triangle 4 = (3, 4, 7) = (0, 1), (1, 1),
// (1, 2); its edges 3 -> 4 and 4 -> 7 are inside, and so is 7 -> 3.
// Triangle 5 = (3, 7, 6) has the border edge 7 -> 6.
//
//     6 --- 7 --- 8
//     | 5 / | 7 / |
//     | / 4 | / 6 |
//     3 --- 4 --- 5
//     | 1 / | 3 / |
//     | / 0 | / 2 |
//     0 --- 1 --- 2
constexpr double NEAR = 5e-11;  // well within the tolerance on this grid

TEST(InsertPointInTriangleTest, SplitsWhatThePointFallsOn) {
  struct Case {
    char const* name;
    index_t triangle;
    Point<2> point;
    Position position;
    index_t met;              // the vertex met, NO_ID when a new one is made
    index_t new_triangles;
  };
  const Case cases[] = {
      {"inside", 4, at(0.75, 1.25), Position::inside, NO_ID, 3},
      {"on an inner edge", 4, at(0.5, 1), Position::edge0, NO_ID, 4},
      {"within the tolerance inside", 4, at(1 - NEAR, 1.5), Position::edge1, NO_ID, 4},
      {"within the tolerance beyond", 4, at(1 + NEAR, 1.5), Position::edge1, NO_ID, 4},
      {"on a border edge", 5, at(0.5, 2), Position::edge1, NO_ID, 2},
      {"at a vertex", 4, at(1, 2), Position::vertex2, 7, 0},
      {"near a vertex", 4, at(1 - NEAR, 1 + NEAR), Position::vertex1, 4, 0},
      {"outside", 4, at(2, 1.5), Position::outside, NO_ID, 0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Edited edited;
    auto& mesh = *edited.mesh;
    const auto before = test::snapshot(mesh);
    const index_t nb_triangles = mesh.nb_polygons();

    const auto result = edited.modifier.insert_point_in_triangle(c.triangle, c.point);

    EXPECT_EQ(result.first, c.position);
    auto const& info = result.second;
    if (c.new_triangles == 0) {
      EXPECT_EQ(info.vertex, c.met);
      EXPECT_TRUE(info.replacing_edges.empty());
      EXPECT_TRUE(info.interior_edges.empty());
      EXPECT_EQ(test::snapshot(mesh), before);
      continue;
    }
    ASSERT_EQ(info.vertex, 9u);
    EXPECT_EQ(mesh.point(info.vertex), c.point);
    EXPECT_EQ(mesh.nb_polygons(), nb_triangles + c.new_triangles);
    EXPECT_TRUE(
        test::is_complete_split_record(mesh, nb_triangles, info.replacing_edges, info.interior_edges));
    test::expect_valid_surface(mesh);
  }
}

TEST(InsertPointInTriangleTest, PointRoundedOutsideASliverGoesToTheTriangleAcross) {
  // Triangle 0 is a needle left by collapses (signed area 2e-16); the point,
  // a convex combination of its corners, was rounded beyond its edges 0 and
  // 2, within the tolerance. No split of the needle keeps the orientation;
  // the point lies strictly inside triangle 1, across edge 0.
  Edited edited(test::make_surface<2>({{{81.055352286537016, 76.82910915135534}},
                                       {{80.919390654611561, 75.88999950705454}},
                                       {{81.074041774416614, 76.958200557998623}},
                                       {{79.958699198685196, 76.145910615999199}},
                                       {{83.019458788865947, 77.057892158533306}}},
                                      {{{0, 1, 2}}, {{3, 1, 0}}, {{1, 4, 2}}, {{3, 0, 2}}}));
  auto& mesh = *edited.mesh;
  const Point<2> point = at(80.993206189880738, 76.39985570757824);

  const auto result = edited.modifier.insert_point_in_triangle(0, point);

  EXPECT_EQ(result.first, Position::inside);
  ASSERT_EQ(result.second.vertex, 5u);
  EXPECT_EQ(mesh.point(5), point);
  EXPECT_TRUE(edited.modifier.is_triangle_active(0));
  EXPECT_FALSE(edited.modifier.is_triangle_active(1));
  EXPECT_TRUE(test::is_complete_split_record(mesh, 4, result.second.replacing_edges,
                                             result.second.interior_edges));
  test::expect_valid_surface(mesh);
}

TEST(InsertPointInTriangleTest, RemovedTriangleIsAnError) {
  Edited edited;
  edited.modifier.insert_point_in_triangle(4, at(0.75, 1.25));
  EXPECT_THROW(edited.modifier.insert_point_in_triangle(4, at(0.75, 1.25)), UlvaneException);
}

TEST(InsertPointInTriangleTest, NewElementsDeriveOnlyDerivableAttributes) {
  Edited edited;
  auto& mesh = *edited.mesh;
  auto x_value = test::TestAttribute<double>::attach(mesh.vertex_attribute_manager(), "x", -1.0,
                                                     ATTRIBUTE_DERIVABLE);
  for (index_t v = 0; v < mesh.nb_vertices(); ++v) x_value->set_value(v, mesh.point(v).value(0));
  // "triangle info" is derivable, "edge info" is not: the first covers the
  // pieces of a split triangle, the second starts empty on them and stays
  // readable on the replaced triangles.
  auto coverage = test::TestAttribute<index_t>::attach(mesh.polygon_attribute_manager(),
                                                       "triangle info", NO_ID, ATTRIBUTE_DERIVABLE);
  auto edge_info =
      test::TestAttribute<index_t>::attach(mesh.polygon_attribute_manager(), "edge info", NO_ID);
  coverage->set_value(1, 11);
  coverage->set_value(4, 44);
  edge_info->set_value(1, 101);
  edge_info->set_value(4, 404);

  // On edge 3 -> 4, between triangle 4 and the covered triangle 1.
  const auto result = edited.modifier.insert_point_in_triangle(4, at(0.25, 1));

  ASSERT_EQ(result.first, Position::edge0);
  EXPECT_DOUBLE_EQ(x_value->value(result.second.vertex), 0.25);
  for (auto const& pair : result.second.replacing_edges) {
    const index_t piece = pair.first.polygon_id;
    const index_t parent = pair.second.polygon_id;
    SCOPED_TRACE(piece);
    EXPECT_EQ(coverage->value(piece), coverage->value(parent));
    EXPECT_EQ(edge_info->value(piece), NO_ID);
  }
  EXPECT_EQ(edge_info->value(1), 101u);
  EXPECT_EQ(edge_info->value(4), 404u);
}

TEST(InsertPointOnEdgeTest, RecordsThePiecesOnTheSplitEdgesSide) {
  struct Case {
    char const* name;
    PolygonEdge edge;
    Point<2> point;
    std::size_t sides;
  };
  const Case cases[] = {
      {"inner edge 3 -> 4", {4, 0}, at(0.4, 1), 2},
      {"its twin 4 -> 3", {1, 1}, at(0.4, 1), 2},
      {"border edge 7 -> 6", {5, 1}, at(0.3, 2), 1},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Edited edited;
    auto& mesh = *edited.mesh;
    const index_t nb_triangles = mesh.nb_polygons();
    const auto ends = mesh.polygon_edge_vertices(c.edge);

    const auto result = edited.modifier.insert_point_on_edge(c.edge, c.point);

    ASSERT_EQ(result.first, Position::inside);
    auto const& info = result.second;
    EXPECT_EQ(mesh.point(info.vertex), c.point);
    for (auto const* group : {&info.first, &info.second}) {
      EXPECT_EQ(group->triangles.size(), c.sides);
      EXPECT_EQ(group->split_edges.size(), c.sides);
      EXPECT_EQ(group->replacing_edges.size(), c.sides);
      EXPECT_EQ(group->interior_edges.size(), c.sides);
      EXPECT_EQ(group->triangles.at(0).second, c.edge.polygon_id);
      EXPECT_EQ(group->split_edges.at(0).second, c.edge);
    }
    // The pieces the next insertion continues on: P -> X and X -> Q, both
    // in halves of the split edge's own triangle.
    const auto first_piece = mesh.polygon_edge_vertices(info.first.split_edges.at(0).first);
    const auto second_piece = mesh.polygon_edge_vertices(info.second.split_edges.at(0).first);
    EXPECT_EQ(first_piece, (std::array<index_t, 2>{{ends[0], info.vertex}}));
    EXPECT_EQ(second_piece, (std::array<index_t, 2>{{info.vertex, ends[1]}}));
    EXPECT_EQ(info.first.split_edges.at(0).first.polygon_id, info.first.triangles.at(0).first);
    EXPECT_EQ(info.second.split_edges.at(0).first.polygon_id, info.second.triangles.at(0).first);
    if (c.sides == 2) {
      const auto first_twin = mesh.polygon_edge_vertices(info.first.split_edges.at(1).first);
      const auto second_twin = mesh.polygon_edge_vertices(info.second.split_edges.at(1).first);
      EXPECT_EQ(first_twin, (std::array<index_t, 2>{{info.vertex, ends[0]}}));
      EXPECT_EQ(second_twin, (std::array<index_t, 2>{{ends[1], info.vertex}}));
    }
    EXPECT_TRUE(test::is_complete_split_record(mesh, nb_triangles, all_replacing(info),
                                               all_interior(info)));
    test::expect_valid_surface(mesh);
  }
}

TEST(InsertPointOnEdgeTest, SnapsOntoTheEdgesEndsThenOntoAnyVertexNearby) {
  struct Case {
    char const* name;
    PolygonEdge edge;
    Point<2> point;
    Position position;
    index_t vertex;  // NO_ID: a new vertex splits the edge
  };
  // Edge 3 -> 4 of triangle 4, from (0, 1) to (1, 1); its twin is (1, 1).
  // The tolerance is 1e-10 on these unit edges.
  const Case cases[] = {
      {"at the first end", {4, 0}, at(0, 1), Position::vertex0, 3},
      {"near the first end", {4, 0}, at(NEAR, 1 - NEAR), Position::vertex0, 3},
      {"near the second end", {4, 0}, at(1 - NEAR, 1), Position::vertex1, 4},
      {"near the second end, through the twin", {1, 1}, at(1 - NEAR, 1), Position::vertex0, 4},
      {"near the apex of the edge's triangle", {4, 0}, at(1 - NEAR, 2 - NEAR), Position::vertex2, 7},
      {"near a vertex off the edge's triangles", {4, 0}, at(2 + NEAR, 2), Position::vertex2, 8},
      {"just beyond the tolerance of an end", {4, 0}, at(2e-10, 1), Position::inside, NO_ID},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Edited edited;
    const auto before = test::snapshot(*edited.mesh);
    const auto result = edited.modifier.insert_point_on_edge(c.edge, c.point);
    EXPECT_EQ(result.first, c.position);
    if (c.vertex == NO_ID) {
      EXPECT_EQ(result.second.vertex, 9u);
      EXPECT_EQ(edited.mesh->point(9), c.point);
      continue;
    }
    EXPECT_EQ(result.second.vertex, c.vertex);
    EXPECT_TRUE(result.second.first.split_edges.empty());
    EXPECT_TRUE(result.second.second.split_edges.empty());
    EXPECT_EQ(test::snapshot(*edited.mesh), before);
  }
}

TEST(InsertPointOnEdgeTest, LinePointsThroughBothSidesOfAnInnerEdge) {
  // Points ordered from 3 to 4 are inserted along one polygon edge of 3 - 4,
  // each on the piece the previous split names, then again through the
  // other polygon edge, whose handle is stale by then: they all snap onto
  // the vertices the first pass made.
  struct Case {
    char const* name;
    PolygonEdge first_pass;
    bool from_first_end;
    PolygonEdge second_pass;
  };
  const Case cases[] = {
      {"3 -> 4 first", {4, 0}, true, {1, 1}},
      {"4 -> 3 first", {1, 1}, false, {4, 0}},
  };
  const std::array<Point<2>, 3> points{{at(0.25, 1), at(0.5, 1), at(0.75, 1)}};
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    Edited edited;
    auto& mesh = *edited.mesh;
    std::array<index_t, 3> made{};
    PolygonEdge current = c.first_pass;
    for (std::size_t i = 0; i < points.size(); ++i) {
      const auto result = edited.modifier.insert_point_on_edge(current, points[i]);
      ASSERT_EQ(result.first, Position::inside);
      made[i] = result.second.vertex;
      auto const& group = c.from_first_end ? result.second.second : result.second.first;
      current = group.split_edges.at(0).first;
    }
    const std::array<index_t, 5> chain{{3, made[0], made[1], made[2], 4}};
    for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
      EXPECT_TRUE(mesh.polygon_edge_from_vertices(chain[i], chain[i + 1]));
      EXPECT_TRUE(mesh.polygon_edge_from_vertices(chain[i + 1], chain[i]));
    }
    test::expect_valid_surface(mesh);

    const auto before = test::snapshot(mesh);
    for (std::size_t i = 0; i < points.size(); ++i) {
      const auto result = edited.modifier.insert_point_on_edge(c.second_pass, points[i]);
      EXPECT_NE(result.first, Position::inside);
      EXPECT_EQ(result.second.vertex, made[i]) << i;
    }
    EXPECT_EQ(test::snapshot(mesh), before);
  }
}

TEST(InsertPointOnEdgeTest, StaleHandleFollowsTheEdgeWhileItExists) {
  Edited edited;
  auto& mesh = *edited.mesh;
  // Splitting triangle 4 inside leaves the edge 3 -> 4 in one of its pieces.
  edited.modifier.insert_point_in_triangle(4, at(0.75, 1.25));
  const auto result = edited.modifier.insert_point_on_edge({4, 0}, at(0.5, 1));
  ASSERT_EQ(result.first, Position::inside);
  EXPECT_TRUE(mesh.polygon_edge_from_vertices(3, result.second.vertex));
  EXPECT_TRUE(mesh.polygon_edge_from_vertices(result.second.vertex, 4));
  test::expect_valid_surface(mesh);

  // Now 3 -> 4 is gone, and (0.7, 1) is no vertex: nothing to do.
  const auto before = test::snapshot(mesh);
  const auto stale = edited.modifier.insert_point_on_edge({4, 0}, at(0.7, 1));
  EXPECT_EQ(stale.first, Position::outside);
  EXPECT_EQ(stale.second.vertex, NO_ID);
  EXPECT_EQ(test::snapshot(mesh), before);
}

TEST(InsertPointOnEdgeTest, RefusesPointsOutsideTheEdgesDiamond) {
  Edited edited;
  const auto before = test::snapshot(*edited.mesh);
  // Beyond the apex 7 of triangle 4, and beyond the border edge 7 -> 6.
  for (auto const& [edge, point] : {std::pair<PolygonEdge, Point<2>>{{4, 0}, at(0.5, 2.5)},
                                    std::pair<PolygonEdge, Point<2>>{{5, 1}, at(0.5, 0.5)}}) {
    SCOPED_TRACE(edge);
    const auto result = edited.modifier.insert_point_on_edge(edge, point);
    EXPECT_EQ(result.first, Position::outside);
    EXPECT_EQ(result.second.vertex, NO_ID);
  }
  EXPECT_EQ(test::snapshot(*edited.mesh), before);
}

TEST(SnappingDetectionTest, FindsTheVertexWithinTheTolerance) {
  struct Case {
    char const* name;
    Point<2> point;
    absl::optional<local_index_t> local;
  };
  // Triangle 4 = (3, 4, 7); its longest edge is sqrt(2) long.
  const Case cases[] = {
      {"at vertex 0", at(0, 1), local_index_t{0}},
      {"near vertex 1", at(1 - NEAR, 1), local_index_t{1}},
      {"near vertex 2", at(1, 2 + NEAR), local_index_t{2}},
      {"inside", at(0.5, 1.5), absl::nullopt},
      {"just beyond the tolerance", at(1e-9, 1), absl::nullopt},
  };
  auto mesh = test::make_grid<2>(2);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(detail::snapping_detection(*mesh, 4, c.point), c.local);
  }
}

}  // namespace
}  // namespace tarnix
