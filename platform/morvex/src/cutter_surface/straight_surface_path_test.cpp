#include <vector>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <morvex/cutter_surface.h>
#include <ulvane/geometry/predicates.h>

#include "cutter_test_support.h"

namespace tarnix {
namespace {

using test::grid_vertex;

//! Exposes the protected accessors of the segment finder.
class SegmentProbe : public SurfaceSegmentFinder<2> {
 public:
  using SurfaceSegmentFinder<2>::SurfaceSegmentFinder;
  using SurfaceSegmentFinder<2>::begin;
  using SurfaceSegmentFinder<2>::end;
  using SurfaceSegmentFinder<2>::segment;
};

TEST(SurfaceSegmentFinder, HoldsTheSurfaceTheEndsAndBothSegments) {
  const auto surface = test::make_grid<2>(2);
  const SegmentProbe probe{*surface, 0, 8};
  EXPECT_EQ(&probe.surface(), surface.get());
  EXPECT_EQ(probe.begin(), 0U);
  EXPECT_EQ(probe.end(), 8U);
  EXPECT_EQ(probe.segment().vertices()[0], surface->point(0));
  EXPECT_EQ(probe.segment().vertices()[1], surface->point(8));
  // Edge 1 of triangle 1 runs from vertex 4 to vertex 3.
  const auto edge = probe.edge_segment({1, 1});
  EXPECT_EQ(edge.vertices()[0], surface->point(4));
  EXPECT_EQ(edge.vertices()[1], surface->point(3));
}

//! The steps of a walk from a to b satisfy what `determine_cuts` relies on:
//! a crossing step's edge, the exit of the triangle left, has its first end
//! strictly right of a-b and its second strictly left (so the twin, the
//! entry edge of the next triangle, starts on side 0); a vertex step lies on the segment, its edge
//! starts at it; the steps advance along a-b and end with the step at b.
::testing::AssertionResult is_walk_of(TriangulatedSurface<2> const& surface, index_t a, index_t b,
                                      std::vector<SurfacePath> const& steps) {
  Point<2> const& pa = surface.point(a);
  Point<2> const& pb = surface.point(b);
  const Vector<2> direction{pa, pb};
  double progress = 0.0;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    auto const& step = steps[k];
    if (!step.flag) return ::testing::AssertionFailure() << "step " << k << " has a false flag";
    const auto ends = surface.polygon_edge_vertices(step.edge);
    double here = 0.0;
    if (step.position == Position::inside) {
      if (step.vertex != NO_ID)
        return ::testing::AssertionFailure() << "step " << k << " names a vertex";
      if (orientation_2d(pa, pb, surface.point(ends[0])) != Sign::negative ||
          orientation_2d(pa, pb, surface.point(ends[1])) != Sign::positive) {
        return ::testing::AssertionFailure() << "step " << k << " does not cross its edge";
      }
      here = direction.dot(Vector<2>{pa, surface.edge_barycenter(step.edge)});
    } else {
      if (step.position != Position::vertex0 || step.vertex == NO_ID || ends[0] != step.vertex ||
          orientation_2d(pa, pb, surface.point(step.vertex)) != Sign::zero) {
        return ::testing::AssertionFailure() << "step " << k << " is no vertex step on a-b";
      }
      here = direction.dot(Vector<2>{pa, surface.point(step.vertex)});
    }
    // Crossings are compared through their edge midpoints, so only vertex
    // steps are held to strict progress.
    if (step.position != Position::inside && here <= progress) {
      return ::testing::AssertionFailure() << "step " << k << " goes back";
    }
    if (step.position != Position::inside) progress = here;
  }
  if (steps.empty() || steps.back().vertex != b) {
    return ::testing::AssertionFailure() << "the walk does not end at b";
  }
  return ::testing::AssertionSuccess();
}

TEST(FindStraightSurfacePath, WalksWorkedExamplesOnAGrid) {
  // 4 x 4 unit grid, vertex (i, j) = i + 5 j. Expected: the vertex passed at
  // each step, NO_ID for a crossing.
  struct Case {
    char const* name;
    index_t a;
    index_t b;
    std::vector<index_t> vertices;
  };
  const Case cases[] = {
      {"along the bottom border", 0, 4, {1, 2, 3, 4}},
      {"along the diagonals", 0, 24, {6, 12, 18, 24}},
      {"one crossing", 0, 11, {NO_ID, 11}},
      {"one crossing backwards", 11, 0, {NO_ID, 0}},
      {"through a vertex", 0, 22, {NO_ID, 11, NO_ID, 22}},
      {"against the diagonals", 4, 20, {NO_ID, 8, NO_ID, 12, NO_ID, 16, NO_ID, 20}},
      {"an edge", 7, 12, {12}},
      {"shallow", 5, 14, {NO_ID, NO_ID, NO_ID, NO_ID, NO_ID, 14}},
  };
  const auto surface = test::make_grid<2>(4);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto steps = detail::find_straight_surface_path(*surface, c.a, c.b);
    ASSERT_TRUE(steps);
    EXPECT_TRUE(is_walk_of(*surface, c.a, c.b, *steps));
    std::vector<index_t> vertices;
    for (auto const& step : *steps) vertices.push_back(step.vertex);
    EXPECT_EQ(vertices, c.vertices);
  }
  // The crossing from 0 to 11 leaves triangle 1 = (0, 6, 5) through 6 -> 5.
  const auto steps = detail::find_straight_surface_path(*surface, 0, 11);
  EXPECT_EQ(steps->front().edge, (PolygonEdge{1, 1}));
}

TEST(FindStraightSurfacePath, WalksEveryPairOfAJitteredGrid) {
  const auto surface = test::make_jittered_grid(6, 0.2, 7);
  for (index_t a = 0; a < surface->nb_vertices(); ++a) {
    for (index_t b = 0; b < surface->nb_vertices(); ++b) {
      if (a == b) continue;
      const auto steps = detail::find_straight_surface_path(*surface, a, b);
      // The jittered grid is not convex: a segment between two border
      // vertices may leave it.
      if (!steps) continue;
      ASSERT_TRUE(is_walk_of(*surface, a, b, *steps)) << a << " -> " << b;
    }
  }
}

TEST(FindStraightSurfacePath, RefusesSegmentsThatLeaveTheSurface) {
  // 2 x 2 grid without square (1, 0):
  //
  //     6 --- 7 --- 8
  //     |   / |   / |
  //     3 --- 4 --- 5
  //     |   / |
  //     0 --- 1     2
  auto surface = test::make_grid<2>(2);
  auto builder = TriangulatedSurfaceBuilder<2>::create(*surface);
  builder->remove_polygon(2);
  builder->remove_polygon(3);
  struct Case {
    char const* name;
    index_t a;
    index_t b;
  };
  const Case cases[] = {
      {"a equals b", 4, 4},
      {"crosses a border edge", 0, 5},
      {"leaves a border vertex outwards", 1, 5},
      {"starts at an isolated vertex", 2, 4},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(detail::find_straight_surface_path(*surface, c.a, c.b));
  }
  EXPECT_TRUE(detail::find_straight_surface_path(*surface, 0, 7));
}

}  // namespace
}  // namespace tarnix
