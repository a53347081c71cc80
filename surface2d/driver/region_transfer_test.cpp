#include "driver/region_transfer.h"

#include <array>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_set.h>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

using Points = std::vector<std::array<double, 2>>;
using Triangles = std::vector<std::array<index_t, 3>>;

UnmeshedRegion make_region(Points const& points, Triangles const& triangles,
                           std::vector<unsigned int> to_output) {
  UnmeshedRegion region;
  region.mesh = test::make_surface<2>(points, triangles);
  region.to_output_vertex = std::move(to_output);
  return region;
}

struct RegionCase {
  char const* name;
  Points points;
  Triangles triangles;
  std::vector<unsigned int> to_output;
  index_t nb_triangles_after;
  // Per region vertex after the clean: the result vertex, or NO_ID.
  std::vector<unsigned int> table;
};

class RegionTransferTest : public ::testing::TestWithParam<RegionCase> {};

TEST_P(RegionTransferTest, RemovesWhatStandsForNoOutputVertex) {
  auto const& c = GetParam();
  auto region = make_region(c.points, c.triangles, c.to_output);
  std::vector<unsigned int> table;
  {
    RegionTransfer transfer{region};
    auto const result = transfer.post_process_region();
    table.assign(result.begin(), result.end());
  }
  EXPECT_FALSE(region.mesh->vertex_attribute_manager().attribute_exists("locks"));
  test::expect_valid_surface(*region.mesh);
  EXPECT_EQ(region.mesh->nb_polygons(), c.nb_triangles_after);
  EXPECT_EQ(table, c.table);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegionTransferTest,
    ::testing::Values(
        // Every vertex stands for an output vertex: nothing moves.
        RegionCase{"AllLocked",
                   {{0, 0}, {1, 0}, {1, 1}, {0, 1}},
                   {{0, 1, 2}, {0, 2, 3}},
                   {7, 8, 9, 10},
                   2,
                   {7, 8, 9, 10}},
        // The centre of a fan collapses onto a locked corner.
        RegionCase{"InteriorVertex",
                   {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 0.5}},
                   {{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}},
                   {3, 2, 1, 0, NO_ID},
                   2,
                   {3, 2, 1, 0}},
        // A vertex inside a border edge collapses onto a locked end.
        RegionCase{"BorderVertex",
                   {{0, 0}, {1, 0}, {0, 1}, {0.5, 0}},
                   {{0, 3, 2}, {3, 1, 2}},
                   {4, 5, 6, NO_ID},
                   1,
                   {4, 5, 6}},
        // Two free vertices inside one border edge: both go, one collapse
        // after the other in the same pass.
        RegionCase{"TwoBorderVertices",
                   {{0, 0}, {3, 0}, {1.5, 2}, {1, 0}, {2, 0}},
                   {{0, 3, 2}, {3, 4, 2}, {4, 1, 2}},
                   {4, 5, 6, NO_ID, NO_ID},
                   1,
                   {4, 5, 6}}),
    [](auto const& test_info) { return test_info.param.name; });

struct DuplicateCase {
  char const* name;
  Triangles triangles;
  index_t nb_triangles_after;
  index_t nb_vertices_after;
};

class DeleteDuplicateTrianglesTest : public ::testing::TestWithParam<DuplicateCase> {};

TEST_P(DeleteDuplicateTrianglesTest, KeepsOneCounterClockwiseCopy) {
  auto const& c = GetParam();
  auto mesh = test::make_surface<2>({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}}, c.triangles);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  delete_duplicate_triangles(*mesh, *builder);
  EXPECT_EQ(mesh->nb_polygons(), c.nb_triangles_after);
  EXPECT_EQ(mesh->nb_vertices(), c.nb_vertices_after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteDuplicateTrianglesTest,
    ::testing::Values(
        DuplicateCase{"NoneLeavesTheSurfaceAlone", {{0, 1, 2}, {0, 2, 3}}, 2, 5},
        DuplicateCase{"TwoCopiesKeepOne", {{0, 1, 2}, {0, 2, 3}, {1, 2, 0}}, 2, 4},
        DuplicateCase{"ReversedCopyGoes", {{0, 1, 2}, {0, 2, 3}, {0, 2, 1}, {1, 4, 2}}, 3, 5},
        DuplicateCase{"ReversedCopyFirstGoes", {{0, 2, 1}, {0, 1, 2}, {0, 2, 3}}, 2, 4},
        DuplicateCase{"ThreeCopiesKeepOne", {{0, 1, 2}, {2, 0, 1}, {1, 2, 0}, {0, 2, 3}}, 2, 4}),
    [](auto const& test_info) { return test_info.param.name; });

// A vertex of a line or corner that lost its triangles with the duplicates
// stays, for the gaps to take in; other loose vertices go.
TEST(DeleteDuplicateTriangles, KeepsTheFlaggedLooseVertices) {
  auto mesh = test::make_surface<2>({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 0}, {3, 0}},
                                    {{0, 1, 2}, {0, 2, 3}, {1, 2, 0}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  delete_duplicate_triangles(*mesh, *builder, {false, false, false, false, true, false});
  EXPECT_EQ(mesh->nb_polygons(), 2u);
  ASSERT_EQ(mesh->nb_vertices(), 5u);
  EXPECT_EQ(mesh->point(4), (Point<2>{{2, 0}}));
}

struct PolygonCase {
  char const* name;
  Points corners;
  bool triangulated;
};

class TriangulatePolygonTest : public ::testing::TestWithParam<PolygonCase> {};

// A triangulation is accepted only when it covers the polygon exactly once
// with counter-clockwise triangles.
TEST_P(TriangulatePolygonTest, CoversTheOutlineOnce) {
  auto const& c = GetParam();
  std::vector<Point<2>> points;
  std::vector<index_t> polygon;
  for (auto const& corner : c.corners) {
    polygon.push_back(static_cast<index_t>(points.size()));
    points.push_back(Point<2>{corner});
  }
  auto const point = [&](index_t v) { return points.at(v); };
  auto const triangles = triangulate_polygon(polygon, point);
  ASSERT_EQ(triangles.has_value(), c.triangulated);
  if (!triangles) return;
  EXPECT_EQ(triangles->size(), polygon.size() < 3 ? 0 : polygon.size() - 2);
  for (auto const& t : *triangles) {
    EXPECT_EQ(orientation_2d(points[t[0]], points[t[1]], points[t[2]]), Sign::positive);
  }
  EXPECT_TRUE(tiles_outline(*triangles, polygon, point));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TriangulatePolygonTest,
    ::testing::Values(
        PolygonCase{"Square", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true},
        // Reflex corners: an ear that holds the reflex corner is refused.
        PolygonCase{"LShape", {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, true},
        PolygonCase{"Comb", {{0, 0}, {4, 0}, {4, 3}, {3, 1}, {2, 3}, {1, 1}, {0, 3}}, true},
        // Corners along a straight side: no flat triangle may come out.
        PolygonCase{"CollinearSide", {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {1.5, 1}}, true},
        // A corner 1e-13 inside the line of its neighbours.
        PolygonCase{"NearlyFlat", {{0, 0}, {1, 0}, {2, 1e-13}, {1, 1e-13}}, true},
        PolygonCase{"TwoCornersCoverNothing", {{0, 0}, {1, 0}}, true},
        PolygonCase{"Clockwise", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, false},
        PolygonCase{"CrossesItself", {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, false},
        PolygonCase{"Flat", {{0, 0}, {1, 0}, {2, 0}}, false}),
    [](auto const& test_info) { return test_info.param.name; });

TEST(TilesOutline, RefusesOverlapsHolesAndTurnedTriangles) {
  std::vector<Point<2>> const points{Point<2>{{0, 0}}, Point<2>{{1, 0}}, Point<2>{{1, 1}},
                                     Point<2>{{0, 1}}, Point<2>{{0.5, 0.5}}};
  auto const point = [&](index_t v) { return points.at(v); };
  std::vector<index_t> const square{0, 1, 2, 3};
  EXPECT_TRUE(tiles_outline(Triangles{{0, 1, 2}, {0, 2, 3}}, square, point));
  EXPECT_TRUE(tiles_outline(Triangles{{0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}}, square, point));
  // Both diagonals: the square twice.
  EXPECT_FALSE(tiles_outline(Triangles{{0, 1, 2}, {0, 2, 3}, {0, 1, 3}, {1, 2, 3}}, square, point));
  // One half missing.
  EXPECT_FALSE(tiles_outline(Triangles{{0, 1, 2}}, square, point));
  // The same edges, one triangle turned over.
  EXPECT_FALSE(tiles_outline(Triangles{{0, 1, 2}, {0, 3, 2}}, square, point));
  // The outline taken the other way round.
  EXPECT_FALSE(tiles_outline(Triangles{{0, 1, 2}, {0, 2, 3}}, {3, 2, 1, 0}, point));
}

TEST(RegionOutline, CornersOfAClosedCycleOnly) {
  UnmeshedRegion region;
  region.to_output_vertex = {10, 11, 12, NO_ID, 13};
  // Three macro edges 0 -> 1 -> 2 -> 0, the first one through vertex 3.
  region.boundary_chains = {{1, 3, 0}, {2, 1}, {0, 2}};
  EXPECT_EQ(region_outline(region), (std::vector<index_t>{11, 12, 10}));
  region.boundary_chains = {{1, 3, 0}, {2, 1}, {4, 2}};  // does not close
  EXPECT_TRUE(region_outline(region).empty());
  region.boundary_chains = {{3, 0}, {2, 3}, {0, 2}};  // a corner without output vertex
  EXPECT_TRUE(region_outline(region).empty());
}

// The 2 x 2 grid (see make_grid) with some triangles taken out.
struct GapCase {
  char const* name;
  std::vector<index_t> removed;
  // Line edges: the whole outer border unless told otherwise.
  std::vector<std::pair<index_t, index_t>> extra_line_edges;
  index_t nb_created;
};

class FillGapsTest : public ::testing::TestWithParam<GapCase> {};

TEST_P(FillGapsTest, ClosesGapsOffTheLines) {
  auto const& c = GetParam();
  auto grid = test::make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*grid);
  std::vector<bool> removed(grid->nb_polygons(), false);
  for (auto const t : c.removed) removed[t] = true;
  builder->delete_polygons(removed);
  builder->compute_polygon_adjacencies();
  absl::flat_hash_set<std::pair<index_t, index_t>> line_edges{
      {0, 1}, {1, 2}, {2, 5}, {5, 8}, {7, 8}, {6, 7}, {3, 6}, {0, 3}};
  for (auto const& edge : c.extra_line_edges) line_edges.insert(edge);
  double const area_before = 4.0 - 0.5 * static_cast<double>(c.removed.size());
  EXPECT_EQ(fill_gaps(*grid, *builder, line_edges), c.nb_created);
  builder->compute_polygon_adjacencies();
  test::expect_valid_surface(*grid);
  double area = 0.0;
  for (index_t t = 0; t < grid->nb_polygons(); ++t) {
    auto const p0 = grid->point(grid->polygon_vertex({t, 0}));
    auto const p1 = grid->point(grid->polygon_vertex({t, 1}));
    auto const p2 = grid->point(grid->polygon_vertex({t, 2}));
    area += 0.5 * ((p1.value(0) - p0.value(0)) * (p2.value(1) - p0.value(1)) -
                   (p1.value(1) - p0.value(1)) * (p2.value(0) - p0.value(0)));
  }
  EXPECT_DOUBLE_EQ(area, c.nb_created == 0 ? area_before : 4.0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FillGapsTest,
    ::testing::Values(
        GapCase{"NoGap", {}, {}, 0},
        // Two triangles that share a diagonal: a quadrilateral gap, one of
        // its sides a line edge no triangle holds any more.
        GapCase{"QuadrilateralGap", {3, 6}, {}, 2},
        // Two triangular gaps that touch at the centre vertex: the walk
        // round them passes that vertex twice.
        GapCase{"GapsTouchingAtAVertex", {3, 4}, {}, 2},
        // A corner triangle gone: the gap ends on two line edges no triangle
        // holds any more, and its third side is off the lines.
        GapCase{"GapOnTheBorder", {1}, {}, 1},
        // A hole bounded by lines is the surface's own.
        GapCase{"HoleBoundedByLines", {3, 6}, {{1, 5}, {1, 4}, {4, 8}}, 0}),
    [](auto const& test_info) { return test_info.param.name; });

// A triangle fanned around a vertex that lies across the edge of its
// neighbour: the three border edges turn counter-clockwise. The neighbour
// is split at that vertex so that the fold closes, with no new vertex.
TEST(FillGaps, FoldAcrossAnEdgeIsUnfolded) {
  // Vertex 3 lies just inside triangle (0, 1, 2), above its edge 0-1; the
  // triangles below run 1 -> 3 -> 0 instead of 1 -> 0.
  auto mesh = test::make_surface<2>({{0, 0}, {2, 0}, {1, 1}, {1, 1e-9}, {1, -1}},
                                    {{0, 1, 2}, {1, 3, 4}, {3, 0, 4}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{
      {1, 2}, {0, 2}, {0, 4}, {1, 4}};
  EXPECT_EQ(fill_gaps(*mesh, *builder, line_edges), 2u);
  builder->compute_polygon_adjacencies();
  test::expect_valid_surface(*mesh);
  EXPECT_EQ(mesh->nb_polygons(), 4u);
  EXPECT_TRUE(mesh->polygon_edge_from_vertices(3, 1).has_value());
  EXPECT_TRUE(mesh->polygon_edge_from_vertices(0, 3).has_value());
  EXPECT_FALSE(mesh->polygon_edge_from_vertices(0, 1).has_value());
}

// A vertex in no triangle inside a gap joins the gap's triangles, whether
// it falls inside one of them or on the diagonal between two.
TEST(FillGaps, VertexInsideTheGapJoinsItsTriangles) {
  struct Loose {
    std::array<double, 2> at;
    std::size_t nb_fans;  // three inside a triangle, four on an edge
    index_t nb_created;
  };
  for (auto const& loose_case : {Loose{{1.6, 1.5}, 3, 4}, Loose{{1.5, 1.0}, 4, 4}}) {
    SCOPED_TRACE(loose_case.at[0]);
    auto const& inside = loose_case.at;
    auto grid = test::make_grid<2>(2);
    auto builder = TriangulatedSurfaceBuilder<2>::create(*grid);
    std::vector<bool> removed(grid->nb_polygons(), false);
    removed[3] = removed[6] = true;
    builder->delete_polygons(removed);
    builder->compute_polygon_adjacencies();
    auto const loose = builder->create_point(Point<2>{inside});
    absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{
        {0, 1}, {1, 2}, {2, 5}, {5, 8}, {7, 8}, {6, 7}, {3, 6}, {0, 3}};
    EXPECT_EQ(fill_gaps(*grid, *builder, line_edges), loose_case.nb_created);
    test::expect_valid_surface(*grid);
    EXPECT_EQ(grid->polygons_around_vertex(loose).size(), loose_case.nb_fans);
  }
}

// The border runs a -> c -> b with c a hair outside the line edge a-b,
// which no triangle holds: no triangle can close that, and c, on no line,
// is collapsed onto a.
TEST(FillGaps, FoldAgainstALineLosesItsCorner) {
  auto mesh = test::make_surface<2>({{0, 0}, {0, 2}, {-1e-12, 1}, {1, 1}}, {{2, 0, 3}, {1, 2, 3}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{{0, 1}, {0, 3}, {1, 3}};
  EXPECT_EQ(fill_gaps(*mesh, *builder, line_edges), 0u);
  test::expect_valid_surface(*mesh);
  ASSERT_EQ(mesh->nb_polygons(), 1u);
  EXPECT_EQ(mesh->nb_vertices(), 3u);
  EXPECT_TRUE(mesh->polygon_edge_from_vertices(1, 0).has_value());
}

// The fold of FoldAgainstALineLosesItsCorner, with the corner off the
// boundary lines being a vertex of an internal line or an internal corner:
// it is not collapsed, and the gap stays.
TEST(FillGaps, FoldAtALineOrCornerVertexKeepsItsCorner) {
  auto mesh = test::make_surface<2>({{0, 0}, {0, 2}, {-1e-12, 1}, {1, 1}}, {{2, 0, 3}, {1, 2, 3}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{{0, 1}, {0, 3}, {1, 3}};
  EXPECT_EQ(fill_gaps(*mesh, *builder, line_edges, {false, false, true, false}), 0u);
  EXPECT_EQ(mesh->nb_polygons(), 2u);
  ASSERT_EQ(mesh->nb_vertices(), 4u);
  EXPECT_EQ(mesh->point(2), (Point<2>{{-1e-12, 1}}));
  ASSERT_TRUE(find_open_spot(*mesh, line_edges, {}).has_value());
}

// The clean after a fold's collapse drops the collapsed corner only: a
// vertex of a line or corner in no triangle stays.
TEST(FillGaps, CleanAfterACollapseKeepsTheFlaggedLooseVertices) {
  auto mesh = test::make_surface<2>({{0, 0}, {0, 2}, {-1e-12, 1}, {1, 1}, {5, 5}, {6, 6}},
                                    {{2, 0, 3}, {1, 2, 3}});
  auto builder = TriangulatedSurfaceBuilder<2>::create(*mesh);
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{{0, 1}, {0, 3}, {1, 3}};
  fill_gaps(*mesh, *builder, line_edges, {false, false, false, false, true, false});
  test::expect_valid_surface(*mesh);
  ASSERT_EQ(mesh->nb_polygons(), 1u);
  ASSERT_EQ(mesh->nb_vertices(), 4u);
  EXPECT_EQ(mesh->point(3), (Point<2>{{5, 5}}));
}

// The driver's clean-up order after a region was dropped: the duplicates
// go first, then the gaps close. A line or corner vertex that only the
// dropped region held must outlive the first step for the second to take
// it in.
TEST(FillGaps, LineVertexOfADroppedRegionOutlivesTheDuplicates) {
  auto grid = test::make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*grid);
  std::vector<bool> removed(grid->nb_polygons(), false);
  removed[3] = removed[6] = true;
  builder->delete_polygons(removed);
  builder->create_triangle({0, 1, 4});  // a copy of triangle 0
  builder->compute_polygon_adjacencies();
  auto const loose = builder->create_point(Point<2>{{1.6, 1.5}});
  std::vector<bool> kept(grid->nb_vertices(), false);
  kept[loose] = true;
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{
      {0, 1}, {1, 2}, {2, 5}, {5, 8}, {7, 8}, {6, 7}, {3, 6}, {0, 3}};
  delete_duplicate_triangles(*grid, *builder, kept);
  ASSERT_EQ(grid->nb_vertices(), 10u);
  EXPECT_EQ(fill_gaps(*grid, *builder, line_edges, kept), 4u);
  test::expect_valid_surface(*grid);
  EXPECT_EQ(grid->polygons_around_vertex(loose).size(), 3u);
  EXPECT_FALSE(find_open_spot(*grid, line_edges, kept));
}

struct OpenSpotCase {
  char const* name;
  std::vector<index_t> removed;  // triangles of the 2 x 2 grid
  std::vector<bool> kept;
  bool open;
  bool hole;
  std::array<double, 2> at;
};

class FindOpenSpotTest : public ::testing::TestWithParam<OpenSpotCase> {};

TEST_P(FindOpenSpotTest, FindsHolesOffTheLinesAndLooseKeptVertices) {
  auto const& c = GetParam();
  auto grid = test::make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*grid);
  builder->create_point(Point<2>{{5, 5}});  // vertex 9, in no triangle
  std::vector<bool> removed(grid->nb_polygons(), false);
  for (auto const t : c.removed) removed[t] = true;
  builder->delete_polygons(removed);
  builder->compute_polygon_adjacencies();
  absl::flat_hash_set<std::pair<index_t, index_t>> const line_edges{
      {0, 1}, {1, 2}, {2, 5}, {5, 8}, {7, 8}, {6, 7}, {3, 6}, {0, 3}};
  auto const spot = find_open_spot(*grid, line_edges, c.kept);
  ASSERT_EQ(spot.has_value(), c.open);
  if (!spot) return;
  EXPECT_EQ(spot->hole, c.hole);
  if (!c.hole) {
    EXPECT_EQ(spot->point, Point<2>{c.at});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindOpenSpotTest,
    ::testing::Values(OpenSpotCase{"ClosedUpToItsLines", {}, {}, false, false, {}},
                      OpenSpotCase{"LooseVertexOffTheLines", {}, std::vector<bool>(10, false),
                                   false, false, {}},
                      OpenSpotCase{"GapInside", {3, 6}, {}, true, true, {}},
                      OpenSpotCase{"GapOnTheBorder", {1}, {}, true, true, {}},
                      OpenSpotCase{"LooseLineVertex",
                                   {},
                                   {false, false, false, false, false, false, false, false, false,
                                    true},
                                   true,
                                   false,
                                   {5, 5}}),
    [](auto const& test_info) { return test_info.param.name; });

}  // namespace
}  // namespace detail
}  // namespace tarnix
