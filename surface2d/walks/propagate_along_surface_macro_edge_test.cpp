#include <tarnix/surface2d/propagate_along_surface_macro_edge.h>

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <ulvane/geometry/position.h>

#include "walks/walk_fixtures.h"

namespace tarnix {
namespace detail {

//! Calls the private answers of the 2D walk.
class PropagateAlongSurfaceMacroEdge2DPeer {
 public:
  static absl::optional<SurfacePath> next_intersection(PropagateAlongSurfaceMacroEdge2D const& walk,
                                                       PolygonEdge const& edge) {
    return walk.next_intersection(edge);
  }
  static Position segment_intersects(PropagateAlongSurfaceMacroEdge2D const& walk,
                                     Segment<2> const& segment) {
    return walk.segment_intersects(segment);
  }
  static bool is_edge_intersection_ok(PropagateAlongSurfaceMacroEdge2D const& walk,
                                      Point<2> const& p0, Point<2> const& p1) {
    return walk.is_edge_intersection_ok(p0, p1);
  }
  static bool is_edge_orientation_ok(PropagateAlongSurfaceMacroEdge2D const& walk,
                                     Point<2> const& p0, Point<2> const& p1) {
    return walk.is_edge_orientation_ok(p0, p1);
  }
};

namespace {

using Peer = PropagateAlongSurfaceMacroEdge2DPeer;
using test::WalkWorld;

Point<2> point(double x, double y) { return Point<2>{std::array<double, 2>{x, y}}; }

absl::optional<std::vector<SurfacePath>> walk(WalkWorld const& world, index_t a, index_t b) {
  return PropagateAlongSurfaceMacroEdge2D{world.remesher(), a, b}.along_segment();
}

//! Checks the steps of a walk from a to b against the brute-force contacts:
//! the same edges and vertices in the same order, each step's edge in the
//! triangle the walk passes just before it (for a run along an edge, a
//! triangle on that edge), vertex steps on edges that start at the vertex.
void expect_matches_reference(test::ContactReference const& reference,
                              TriangulatedSurface<2> const& surface,
                              std::vector<SurfacePath> const& steps, index_t a, index_t b) {
  const auto contacts = reference.segment_contacts(a, b);
  ASSERT_EQ(steps.size(), contacts.size());
  Point<2> previous = surface.point(a);
  index_t previous_vertex = a;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    SCOPED_TRACE(k);
    auto const& step = steps[k];
    auto const& contact = contacts[k];
    EXPECT_TRUE(step.flag);
    ASSERT_EQ(step.vertex, contact.vertex);
    if (contact.vertex == NO_ID) {
      EXPECT_EQ(step.position, Position::inside);
      EXPECT_EQ(test::vertex_pair(surface, step.edge), contact.edge);
    } else {
      EXPECT_EQ(step.position, Position::vertex0);
      EXPECT_EQ(surface.polygon_edge_vertex(step.edge, 0), contact.vertex);
    }
    if (contact.vertex != NO_ID && previous_vertex != NO_ID) {
      // From vertex to vertex the walk runs along an edge of the triangle.
      index_t nb_ends = 0;
      for (local_index_t v = 0; v < 3; ++v) {
        const index_t corner = surface.polygon_vertex({step.edge.polygon_id, v});
        if (corner == previous_vertex || corner == contact.vertex) ++nb_ends;
      }
      EXPECT_EQ(nb_ends, 2u);
    } else {
      const Point<2> before = (previous + contact.point) * 0.5;
      EXPECT_EQ(point_triangle_position(before, surface.triangle(step.edge.polygon_id)),
                Position::inside);
    }
    previous = contact.point;
    previous_vertex = contact.vertex;
  }
}

// The 3 x 3 grid of unit squares; vertex (i, j) is i + 4 j, square (i, j)
// holds t = 2 (i + 3 j) = (c, c + 1, c + 5) and t + 1 = (c, c + 5, c + 4),
// c = i + 4 j. Its rising diagonals are edges.
//
//    12 -- 13 -- 14 -- 15
//     |  / |  /  |  /  |
//     8 -- 9 -- 10 -- 11
//     |  / |  /  |  /  |
//     4 -- 5 --- 6 --- 7
//     |  / |  /  |  /  |
//     0 -- 1 --- 2 --- 3
class SegmentWalkTest : public ::testing::Test {
 protected:
  WalkWorld world{test::make_grid<2>(3)};
};

TEST_F(SegmentWalkTest, WorkedExamples) {
  struct {
    char const* name;
    index_t a, b;
    std::vector<SurfacePath> steps;
  } const cases[] = {
      // (0, 1) -> (3, 2): out of 4 through t6 across 5 -> 9, then t9, t8,
      // and through t11 to its vertex 11, which lies on the segment.
      {"crossings, then the end vertex",
       4,
       11,
       {{{6, 1}, Position::inside, NO_ID, true},
        {{9, 0}, Position::inside, NO_ID, true},
        {{8, 1}, Position::inside, NO_ID, true},
        {{11, 1}, Position::vertex0, 11, true}}},
      // Along the border 0 -> 1 -> 2 -> 3: one vertex step per edge.
      {"along border edges",
       0,
       3,
       {{{0, 1}, Position::vertex0, 1, true},
        {{2, 1}, Position::vertex0, 2, true},
        {{4, 1}, Position::vertex0, 3, true}}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto steps = walk(world, c.a, c.b);
    ASSERT_TRUE(steps);
    ASSERT_EQ(steps->size(), c.steps.size());
    for (std::size_t k = 0; k < c.steps.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ((*steps)[k].edge, c.steps[k].edge);
      EXPECT_EQ((*steps)[k].position, c.steps[k].position);
      EXPECT_EQ((*steps)[k].vertex, c.steps[k].vertex);
      EXPECT_TRUE((*steps)[k].flag);
    }
  }
  // Along the diagonal edges 0 -> 5 -> 10: the edge at 10 depends on the fan
  // order, so the reference checks it.
  const auto diagonal = walk(world, 0, 10);
  ASSERT_TRUE(diagonal);
  expect_matches_reference(test::ContactReference{world.surface()}, world.surface(), *diagonal, 0,
                           10);
}

TEST_F(SegmentWalkTest, Refusals) {
  // The walk 4 -> 11 crosses 5 -> 10 from t9 into t8 in its second step.
  const index_t a = 4;
  const index_t b = 11;
  const auto free_walk = walk(world, a, b);
  ASSERT_TRUE(free_walk);
  const PolygonEdge crossed = free_walk->at(1).edge;
  const index_t entered = *world.surface().polygon_adjacent(crossed);
  const PolygonEdge twin = *world.surface().polygon_adjacent_edge(crossed);
  struct {
    char const* name;
    void (*prepare)(WalkWorld&, PolygonEdge const& crossed, PolygonEdge const& twin,
                    index_t entered);
    index_t a, b;
    bool engaged;
  } const cases[] = {
      {"untouched", [](WalkWorld&, PolygonEdge const&, PolygonEdge const&, index_t) {}, a, b, true},
      {"a equals b", [](WalkWorld&, PolygonEdge const&, PolygonEdge const&, index_t) {}, a, a,
       false},
      {"covered triangle on the way",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t t) { w.cover(t); }, a, b,
       false},
      {"first triangle covered",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) {
         w.cover(*test::triangle_containing(w.surface(), point(0.2, 1.1)));
       },
       a, b, false},
      {"covered triangle beside the way",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) {
         w.cover(*test::triangle_containing(w.surface(), point(2.9, 0.1)));
       },
       a, b, true},
      {"crossed edge marked",
       [](WalkWorld& w, PolygonEdge const& e, PolygonEdge const&, index_t) { w.mark(e); }, a, b,
       false},
      {"crossed edge marked on its twin",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const& e, index_t) { w.mark(e); }, a, b,
       false},
      {"edge beside the way marked",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) { w.mark(w.edge(2, 3)); },
       a, b, true},
      // 0 -> 10 passes vertex 5.
      {"passed vertex on a marked edge",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) { w.mark(w.edge(5, 6)); },
       0, 10, false},
      {"marked edge at a",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) { w.mark(w.edge(0, 1)); },
       0, 5, true},
      {"marked edges at a and b only",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) {
         w.mark(w.edge(0, 1));
         w.mark(w.edge(10, 11));
       },
       0, 10, true},
      // 4 -> 6 runs along the edges 4 -> 5 -> 6.
      {"run along an edge covered on both sides",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) {
         w.cover(1);
         w.cover(6);
       },
       4, 6, false},
      {"run along an edge covered on one side",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) { w.cover(6); }, 4, 6,
       true},
      {"run along a border edge with its triangle covered",
       [](WalkWorld& w, PolygonEdge const&, PolygonEdge const&, index_t) { w.cover(0); }, 0, 2,
       false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    WalkWorld fresh{test::make_grid<2>(3)};
    c.prepare(fresh, crossed, twin, entered);
    EXPECT_EQ(walk(fresh, c.a, c.b).has_value(), c.engaged);
  }
}

TEST(SegmentWalkLeavingTest, RefusesToLeaveTheSurface) {
  // The 2 x 2 grid without its top right square (t6, t7):
  //
  //     6 --- 7     8
  //     | 5 / |
  //     | / 4 |
  //     3 --- 4 --- 5
  //     | 1 / | 3 / |
  //     | / 0 | / 2 |
  //     0 --- 1 --- 2
  const auto grid = test::make_grid<2>(2);
  std::vector<std::array<double, 2>> points;
  for (index_t v = 0; v < 9; ++v) {
    points.push_back({grid->point(v).value(0), grid->point(v).value(1)});
  }
  WalkWorld world{test::make_surface<2>(
      points, {{0, 1, 4}, {0, 4, 3}, {1, 2, 5}, {1, 5, 4}, {3, 4, 7}, {3, 7, 6}})};
  struct {
    char const* name;
    index_t a, b;
    bool engaged;
  } const cases[] = {
      {"crossing the notch's border edge", 2, 7, false},
      {"leaving a border vertex outwards", 5, 7, false},
      {"into an isolated vertex", 0, 8, false},
      {"around the notch through its corner", 1, 7, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk(world, c.a, c.b).has_value(), c.engaged);
  }
}

//! The 2D walk with its edge crossings refused.
class RejectingWalk : public PropagateAlongSurfaceMacroEdge2D {
 public:
  using PropagateAlongSurfaceMacroEdge2D::PropagateAlongSurfaceMacroEdge2D;

 private:
  bool is_edge_intersection_ok(Point<2> const&, Point<2> const&) const override { return false; }
};

TEST_F(SegmentWalkTest, RejectedCrossingGivesNoPath) {
  EXPECT_FALSE(RejectingWalk(world.remesher(), 4, 11).along_segment());
  // Along edges only: nothing to reject.
  EXPECT_TRUE(RejectingWalk(world.remesher(), 0, 10).along_segment());
}

TEST_F(SegmentWalkTest, NextIntersectionExits) {
  // Walk 4 -> 11, i.e. (0, 1) -> (3, 2).
  const PropagateAlongSurfaceMacroEdge2D walk_4_11{world.remesher(), 4, 11};
  // Walk 0 -> 10 along the diagonal through 5.
  const PropagateAlongSurfaceMacroEdge2D walk_0_10{world.remesher(), 0, 10};
  struct {
    char const* name;
    PropagateAlongSurfaceMacroEdge2D const* walk;
    PolygonEdge entry;
    SurfacePath expected;
  } const cases[] = {
      // t9 = (5, 10, 9) entered through 9 -> 5: 10 lies left (side0).
      {"opposite vertex on side0: next edge",
       &walk_4_11,
       {9, 2},
       {{9, 0}, Position::inside, NO_ID, true}},
      // t8 = (5, 6, 10) entered through 10 -> 5: 6 lies right (side1).
      {"opposite vertex on side1: previous edge",
       &walk_4_11,
       {8, 2},
       {{8, 1}, Position::inside, NO_ID, true}},
      // t0 = (0, 1, 5) entered through 0 -> 1: 5 lies on the segment.
      {"opposite vertex on the segment", &walk_0_10, {0, 0}, {{0, 2}, Position::vertex0, 5, true}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto step = Peer::next_intersection(*c.walk, c.entry);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->edge, c.expected.edge);
    EXPECT_EQ(step->position, c.expected.position);
    EXPECT_EQ(step->vertex, c.expected.vertex);
    EXPECT_TRUE(step->flag);
  }
}

TEST_F(SegmentWalkTest, NextIntersectionIsNeverEmpty) {
  auto const& surface = world.surface();
  for (index_t a = 0; a < surface.nb_vertices(); ++a) {
    for (index_t b = 0; b < surface.nb_vertices(); ++b) {
      if (a == b) continue;
      const PropagateAlongSurfaceMacroEdge2D walk{world.remesher(), a, b};
      for (index_t t = 0; t < surface.nb_polygons(); ++t) {
        for (local_index_t e = 0; e < 3; ++e) {
          EXPECT_TRUE(Peer::next_intersection(walk, {t, e}));
        }
      }
    }
  }
}

TEST_F(SegmentWalkTest, SegmentIntersectsNeedsContactOnBothSegments) {
  // The walked segment 0 -> 10 runs from (0, 0) to (2, 2).
  const PropagateAlongSurfaceMacroEdge2D walk{world.remesher(), 0, 10};
  struct {
    char const* name;
    Segment<2> segment;
    Position expected;
  } const cases[] = {
      {"crossing interiors", {point(0.0, 1.0), point(1.0, 0.0)}, Position::inside},
      {"through its first point", {point(1.0, 1.0), point(2.0, 0.0)}, Position::vertex0},
      {"through its second point", {point(2.0, 0.0), point(1.0, 1.0)}, Position::vertex1},
      // Crosses the walked segment's line beyond b: only the given segment
      // reports a contact.
      {"contact on the given segment only", {point(3.0, 2.0), point(3.0, 4.0)}, Position::outside},
      // The walked segment meets the given segment's line, not the segment.
      {"contact on the walked segment only",
       {point(1.0, 0.0), point(2.0, -1.0)},
       Position::outside},
      {"parallel, no contact", {point(3.0, 0.0), point(4.0, 1.0)}, Position::outside},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Peer::segment_intersects(walk, c.segment), c.expected);
  }
}

TEST_F(SegmentWalkTest, EdgeChecksAcceptEverything) {
  const PropagateAlongSurfaceMacroEdge2D walk{world.remesher(), 0, 10};
  const Point<2> p = point(0.5, 0.5);
  const Point<2> q = point(-3.0, 7.0);
  for (auto const& pair : {std::make_pair(p, q), std::make_pair(q, p), std::make_pair(p, p)}) {
    EXPECT_TRUE(Peer::is_edge_intersection_ok(walk, pair.first, pair.second));
    EXPECT_TRUE(Peer::is_edge_orientation_ok(walk, pair.first, pair.second));
  }
}

TEST(SegmentWalkBruteForceTest, EveryPairOnAnExactGrid) {
  // Exact coordinates: many segments pass vertices and run along edges.
  WalkWorld world{test::make_grid<2>(5)};
  const test::ContactReference reference{world.surface()};
  auto const& surface = world.surface();
  for (index_t a = 0; a < surface.nb_vertices(); ++a) {
    for (index_t b = 0; b < surface.nb_vertices(); ++b) {
      if (a == b) continue;
      SCOPED_TRACE(testing::Message() << a << " -> " << b);
      const auto steps = walk(world, a, b);
      ASSERT_TRUE(steps);
      expect_matches_reference(reference, surface, *steps, a, b);
    }
  }
}

//! Random segments of up to `reach` grid units between inner vertices of a
//! jittered n x n grid (so that they stay on the surface, whose jittered
//! border is not convex), each checked against the brute-force contacts.
void check_random_segments(index_t n, int reach, int nb_segments, unsigned int seed) {
  WalkWorld world{test::make_jittered_grid(n, 0.2, seed)};
  ASSERT_TRUE(test::is_valid_surface(world.surface()));
  const test::ContactReference reference{world.surface()};
  std::mt19937 random{seed};
  std::uniform_int_distribution<int> any{1, static_cast<int>(n) - 1};
  std::uniform_int_distribution<int> offset{-reach, reach};
  const auto clamp = [n](int value) {
    return std::max(1, std::min(static_cast<int>(n) - 1, value));
  };
  for (int k = 0; k < nb_segments; ++k) {
    const int i = any(random);
    const int j = any(random);
    const index_t a = static_cast<index_t>(i + (n + 1) * j);
    const index_t b =
        static_cast<index_t>(clamp(i + offset(random)) + (n + 1) * clamp(j + offset(random)));
    if (a == b) continue;
    SCOPED_TRACE(testing::Message() << a << " -> " << b);
    const auto steps = walk(world, a, b);
    ASSERT_TRUE(steps);
    expect_matches_reference(reference, world.surface(), *steps, a, b);
  }
}

TEST(SegmentWalkBruteForceTest, RandomSegmentsOnASmallJitteredGrid) {
  check_random_segments(12, 12, 1500, 3);
}

TEST(SegmentWalkBruteForceTest, RandomSegmentsOnA50kTriangleJitteredGrid) {
  check_random_segments(158, 40, 1000, 5);
}

}  // namespace
}  // namespace detail
}  // namespace tarnix
