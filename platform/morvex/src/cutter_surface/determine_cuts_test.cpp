#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <morvex/common/snapping.h>
#include <morvex/cutter_surface.h>

#include "cutter_test_support.h"

namespace tarnix {
namespace {

std::vector<GeometricSurfacePath<2>> straight_cuts(TriangulatedSurface<2> const& surface, index_t a,
                                                   index_t b) {
  const auto steps = detail::find_straight_surface_path(surface, a, b);
  EXPECT_TRUE(steps);
  if (!steps) return {};
  return determine_cuts(surface, a, b, *steps);
}

TEST(DetermineCuts, GivesOneItemPerStep) {
  // From (0, 0) to (1, 2) on the unit grid: through the midpoint of the
  // edge 6 -> 5 of triangle 1, then vertex 11.
  const auto surface = test::make_grid<2>(4);
  const auto cuts = straight_cuts(*surface, 0, 11);
  ASSERT_EQ(cuts.size(), 2U);
  EXPECT_EQ(cuts[0].vertex, NO_ID);
  EXPECT_EQ(cuts[0].edge, (PolygonEdge{1, 1}));
  EXPECT_DOUBLE_EQ(cuts[0].point.value(0), 0.5);
  EXPECT_DOUBLE_EQ(cuts[0].point.value(1), 1.0);
  EXPECT_EQ(cuts[1].vertex, 11U);
  EXPECT_EQ(cuts[1].point, surface->point(11));
  EXPECT_EQ(surface->polygon_edge_vertex(cuts[1].edge, 0), 11U);
}

TEST(DetermineCuts, ReadsVertexStepsGivenByPositionAlone) {
  const auto surface = test::make_grid<2>(2);
  // Edge 1 of triangle 0 runs from vertex 1 to vertex 4.
  const std::vector<SurfacePath> steps{{{0, 1}, Position::vertex0, NO_ID, true},
                                       {{0, 1}, Position::vertex1, NO_ID, true}};
  const auto cuts = determine_cuts(*surface, 0, 4, steps);
  ASSERT_EQ(cuts.size(), 2U);
  EXPECT_EQ(cuts[0].vertex, 1U);
  EXPECT_EQ(cuts[1].vertex, 4U);
  EXPECT_EQ(surface->polygon_edge_vertex(cuts[1].edge, 0), 4U);
}

//! a = 0 and b = 2 on the x axis; w = 3 at height `height` above the
//! crossing of the edge z -> w:
//!
//!         w
//!   a ----+---- b
//!          \   /
//!           z
std::unique_ptr<TriangulatedSurface<2>> near_miss(double height) {
  return test::make_surface<2>({{0, 0}, {1, -1}, {2, 0}, {1, height}}, {{0, 1, 3}, {1, 2, 3}});
}

TEST(DetermineCuts, SnapsACrossingWithinTheEpsilonOfAnEdgeEnd) {
  struct Case {
    char const* name;
    double height;
    bool is_snapped;
  };
  const Case cases[] = {
      {"well inside the edge", 1e-3, false},
      {"just beyond the epsilon", 100 * detail::SNAPPING_RELATIVE_EPSILON, false},
      {"within the epsilon", 0.1 * detail::SNAPPING_RELATIVE_EPSILON, true},
      {"exactly through the vertex", 0.0, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    test::CutFixture fixture{near_miss(c.height)};
    auto const& surface = *fixture.surface;
    const auto before = surface.clone();
    const auto cut = test::cut_straight(fixture, 0, 2);
    ASSERT_TRUE(cut);
    ASSERT_EQ(cut->cuts.size(), 2U);
    if (c.is_snapped) {
      EXPECT_EQ(cut->cuts[0].vertex, 3U);
      EXPECT_EQ(surface.polygon_edge_vertex(cut->cuts[0].edge, 0), 3U);
      // The cut then runs along the existing edges a-w and w-b.
      EXPECT_TRUE(cut->info.created_vertices.empty());
      EXPECT_EQ(surface.nb_polygons(), before->nb_polygons());
    } else {
      EXPECT_EQ(cut->cuts[0].vertex, NO_ID);
      EXPECT_NEAR(cut->cuts[0].point.value(0), 1.0, 1e-15);
      EXPECT_EQ(cut->info.created_vertices.size(), 1U);
    }
    EXPECT_TRUE(test::is_sound_cut(*before, surface, 0, 2, cut->cuts, cut->info));
  }
}

TEST(DetermineCuts, SnapsTheNeighbouringCrossingsAtASnappedVertex) {
  // The segment a-b passes 1e-12 below w. It crosses w-z1 within the
  // epsilon of w, and w-z2, which runs nearly along it, 1e-9 of its length
  // from w: both become w, so the cut leaves no sliver beside w.
  //
  //   a ---------- w ---------------- b
  //                | \_____________  /
  //                z1              z2
  const auto surface = test::make_surface<2>({{0, 0}, {4, 0}, {2, 1e-12}, {2, -1}, {3, -1e-3}},
                                             {{0, 3, 2}, {3, 4, 2}, {4, 1, 2}});
  const auto cuts = straight_cuts(*surface, 0, 1);
  ASSERT_EQ(cuts.size(), 3U);
  EXPECT_EQ(cuts[0].vertex, 2U);
  EXPECT_EQ(cuts[1].vertex, 2U);
  EXPECT_EQ(cuts[2].vertex, 1U);
  for (auto const& cut : cuts) {
    EXPECT_EQ(surface->polygon_edge_vertex(cut.edge, 0), cut.vertex);
  }
}

TEST(DetermineCuts, PlacesCrossingsOnTheSegmentAndTheirEdges) {
  const auto surface = test::make_jittered_grid(40, 0.2, 3);
  const index_t a = test::grid_vertex(40, 1, 2);
  const index_t b = test::grid_vertex(40, 39, 37);
  const auto cuts = straight_cuts(*surface, a, b);
  ASSERT_GT(cuts.size(), 40U);
  Point<2> const& pa = surface->point(a);
  Point<2> const& pb = surface->point(b);
  const Vector<2> along = Vector<2>{pa, pb}.normalize();
  for (auto const& cut : cuts) {
    if (cut.vertex != NO_ID) continue;
    const Vector<2> offset{pa, cut.point};
    const double distance =
        std::fabs(along.value(0) * offset.value(1) - along.value(1) * offset.value(0));
    EXPECT_LT(distance, 1e-14 * (Vector<2>{pa, pb}.length()));
    const auto ends = surface->polygon_edge_vertices(cut.edge);
    const Vector<2> edge{surface->point(ends[0]), surface->point(ends[1])};
    const Vector<2> from_end{surface->point(ends[0]), cut.point};
    const double parameter = edge.dot(from_end) / edge.dot(edge);
    EXPECT_GT(parameter, 0.0);
    EXPECT_LT(parameter, 1.0);
  }
}

}  // namespace
}  // namespace tarnix
