#include <tarnix/surface2d/propagate_along_line.h>

#include <cmath>
#include <random>
#include <stack>
#include <vector>

#include <gtest/gtest.h>

#include <mesh/surface_fixtures.h>
#include <mesh/surface_validity.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/position.h>
#include <ulvane/geometry/vector.h>

#include "walks/walk_fixtures.h"

namespace tarnix {
namespace {

using detail::OrientedPolygonEdge;
using detail::PropagateAlongLine2D;
using test::WalkWorld;

//! Opens the protected steps of the walk to the tests.
class LineWalk : public PropagateAlongLine2D {
 public:
  using PropagateAlongLine2D::find_first_path;
  using PropagateAlongLine2D::oriented_edge_segment;
  using PropagateAlongLine2D::PropagateAlongLine2D;
  using PropagateAlongLine2D::stop_propagation;
};

//! The steps of a walk, first step first.
std::vector<SurfacePath> bottom_up(detail::SurfacePathStack paths) {
  std::vector<SurfacePath> steps(paths.size());
  for (auto step = steps.rbegin(); step != steps.rend(); ++step) {
    *step = paths.top();
    paths.pop();
  }
  return steps;
}

struct ExpectedStep {
  PolygonEdge edge;
  Position position;
  index_t vertex;
};

void expect_steps(std::vector<SurfacePath> const& steps,
                  std::vector<ExpectedStep> const& expected) {
  ASSERT_EQ(steps.size(), expected.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(steps[i].edge, expected[i].edge);
    EXPECT_EQ(steps[i].position, expected[i].position);
    EXPECT_EQ(steps[i].vertex, expected[i].vertex);
    EXPECT_TRUE(steps[i].flag);
  }
}

Vector<2> direction(double x, double y) { return Vector<2>{std::array<double, 2>{x, y}}; }
Point<2> point(double x, double y) { return Point<2>{std::array<double, 2>{x, y}}; }

// The 2 x 2 grid of unit squares:
//
//     6 --- 7 --- 8
//     | 5 / | 7 / |
//     |  /  |  /  |
//     | / 4 | / 6 |
//     3 --- 4 --- 5
//     | 1 / | 3 / |
//     |  /  |  /  |
//     | / 0 | / 2 |
//     0 --- 1 --- 2
//
// t0 = (0, 1, 4), t1 = (0, 4, 3), t2 = (1, 2, 5), t3 = (1, 5, 4),
// t4 = (3, 4, 7), t5 = (3, 7, 6), t6 = (4, 5, 8), t7 = (4, 8, 7).
// A line through vertex 1 along -(0.5, 2), i.e. walking up through t3, t6
// and t7 to the top border: x = 1 + y / 4.
class LineThroughVertexTest : public ::testing::Test {
 protected:
  WalkWorld world{test::make_grid<2>(2)};
  InfiniteLine<2> line{direction(-0.5, -2.0), point(1.0, 0.0)};
  // The bottom border from 0 to 2, as the chain of a front edge 0 -> 2.
  std::vector<OrientedPolygonEdge> chain{{{0, 0}, true}, {{2, 0}, true}};

  absl::optional<detail::SurfacePathStack> walk(double distance) const {
    return PropagateAlongLine2D{world.remesher(), line}.along_line(chain, distance);
  }
  //! Distance from the origin to where the line crosses the polygon edge, as
  //! the walk computes it.
  double crossing_distance(PolygonEdge const& edge) const {
    const auto vertices = world.surface().polygon_edge_vertices(edge);
    const auto crossing = segment_line_intersection(
        Segment<2>{world.point(vertices[0]), world.point(vertices[1])}, line);
    return point_point_distance<2>(crossing.result.value(), line.origin());
  }
};

TEST_F(LineThroughVertexTest, PassesTheChainVertexAndWalksToTheBorder) {
  const auto paths = walk(10.0);
  ASSERT_TRUE(paths);
  expect_steps(bottom_up(*paths), {{{0, 0}, Position::vertex1, 1},
                                   {{3, 1}, Position::inside, NO_ID},
                                   {{6, 2}, Position::inside, NO_ID},
                                   {{7, 1}, Position::inside, NO_ID}});
}

TEST_F(LineThroughVertexTest, StopsAtTheVertexWhenNoUncoveredTriangleLeadsOn) {
  world.cover(3);
  const auto paths = walk(10.0);
  ASSERT_TRUE(paths);
  expect_steps(bottom_up(*paths), {{{0, 0}, Position::vertex1, 1}});
}

TEST_F(LineThroughVertexTest, StopsBeforeACoveredTriangle) {
  world.cover(6);
  const auto paths = walk(10.0);
  ASSERT_TRUE(paths);
  expect_steps(bottom_up(*paths),
               {{{0, 0}, Position::vertex1, 1}, {{3, 1}, Position::inside, NO_ID}});
}

TEST_F(LineThroughVertexTest, DistanceStopIsStrict) {
  const double first = crossing_distance({3, 1});
  const double second = crossing_distance({6, 2});
  struct {
    char const* name;
    double distance;
    std::size_t nb_steps;
  } const cases[] = {
      {"just short of the first crossing", std::nextafter(first, 0.0), 2},
      {"exactly at the first crossing", first, 3},
      {"between the crossings", 0.5 * (first + second), 3},
      {"exactly at the second crossing", second, 4},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto paths = walk(c.distance);
    ASSERT_TRUE(paths);
    EXPECT_EQ(paths->size(), c.nb_steps);
  }
}

TEST_F(LineThroughVertexTest, OnlyTheFirstChainEdgeMetStartsTheWalk) {
  // The line y = 0.3 + (x - 1) / 2 crosses both 0 -> 1 and 1 -> 5.
  const InfiniteLine<2> crossing_both{direction(-2.0, -1.0), point(1.0, 0.3)};
  const OrientedPolygonEdge bottom{{0, 0}, true};
  const OrientedPolygonEdge diagonal{{3, 0}, true};
  struct {
    char const* name;
    std::vector<OrientedPolygonEdge> chain;
    PolygonEdge first;
  } const cases[] = {
      {"bottom first", {bottom, diagonal}, bottom.edge},
      {"diagonal first", {diagonal, bottom}, diagonal.edge},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto paths =
        PropagateAlongLine2D{world.remesher(), crossing_both}.along_line(c.chain, 10.0);
    ASSERT_TRUE(paths);
    const auto steps = bottom_up(*paths);
    EXPECT_EQ(steps.front().edge, c.first);
    EXPECT_EQ(steps.front().position, Position::inside);
  }
}

TEST_F(LineThroughVertexTest, LineMissingTheChainGivesNothing) {
  const InfiniteLine<2> far_line{direction(0.0, -1.0), point(5.0, 0.0)};
  EXPECT_FALSE(PropagateAlongLine2D(world.remesher(), far_line).along_line(chain, 10.0));
  EXPECT_FALSE(PropagateAlongLine2D(world.remesher(), line).along_line({}, 10.0));
}

TEST(LineWalkTest, BorderChainEdgeLeadsIntoItsOwnTriangle) {
  WalkWorld world{test::make_grid<2>(2)};
  // Bisector of the front edge 0 -> 1: direction perpendicular(p0 - p1).
  const InfiniteLine<2> line{perpendicular(Vector<2>{world.point(1), world.point(0)}),
                             point(0.5, 0.0)};
  const auto paths =
      PropagateAlongLine2D{world.remesher(), line}.along_line({{{0, 0}, true}}, 10.0);
  ASSERT_TRUE(paths);
  expect_steps(bottom_up(*paths), {{{0, 0}, Position::inside, NO_ID},
                                   {{0, 2}, Position::inside, NO_ID},
                                   {{1, 1}, Position::inside, NO_ID},
                                   {{4, 2}, Position::inside, NO_ID},
                                   {{5, 1}, Position::inside, NO_ID}});
}

TEST(LineWalkTest, InteriorChainEdgeLeadsIntoItsTwin) {
  WalkWorld world{test::make_grid<2>(2)};
  // The chain 4 -> 3 is marked on t1 (covered); the walk goes up into t4.
  world.cover(1);
  const InfiniteLine<2> line{direction(0.0, -1.0), point(0.5, 1.0)};
  const auto paths =
      PropagateAlongLine2D{world.remesher(), line}.along_line({{{1, 1}, true}}, 10.0);
  ASSERT_TRUE(paths);
  expect_steps(bottom_up(*paths), {{{1, 1}, Position::inside, NO_ID},
                                   {{4, 2}, Position::inside, NO_ID},
                                   {{5, 1}, Position::inside, NO_ID}});
}

TEST(LineWalkTest, FirstStepsAtAChainVertex) {
  // The line x = 1 along -(0, 1) passes vertex 1 and then vertex 4.
  WalkWorld world{test::make_grid<2>(2)};
  const InfiniteLine<2> line{direction(0.0, -1.0), point(1.0, 0.0)};
  const LineWalk walk{world.remesher(), line};
  struct {
    char const* name;
    OrientedPolygonEdge edge;
    Position position;
    index_t vertex;
  } const cases[] = {
      {"forward, through the second point", {{0, 0}, true}, Position::vertex1, 1},
      {"backward, through the first point", {{0, 0}, false}, Position::vertex0, 1},
      {"forward, through the first point", {{2, 0}, true}, Position::vertex0, 1},
      {"backward, through the second point", {{2, 0}, false}, Position::vertex1, 1},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    const auto steps = bottom_up(walk.find_first_path({c.edge}));
    // Around vertex 1 the fan is t0, t3, t2; the edge 4 -> 0 opposite 1 in
    // t0 is met at its first point 4.
    expect_steps(steps, {{c.edge.edge, c.position, c.vertex}, {{0, 2}, Position::vertex0, NO_ID}});
  }
}

TEST(LineWalkTest, OrientedEdgeSegmentFollowsTheChain) {
  WalkWorld world{test::make_grid<2>(2)};
  const InfiniteLine<2> line{direction(0.0, 1.0), point(0.0, 0.0)};
  const LineWalk walk{world.remesher(), line};
  const auto forward = walk.oriented_edge_segment({{0, 0}, true}).vertices();
  EXPECT_EQ(forward[0], world.point(0));
  EXPECT_EQ(forward[1], world.point(1));
  const auto backward = walk.oriented_edge_segment({{0, 0}, false}).vertices();
  EXPECT_EQ(backward[0], world.point(1));
  EXPECT_EQ(backward[1], world.point(0));
}

TEST(LineWalkTest, StopTests) {
  WalkWorld world{test::make_grid<2>(2)};
  world.cover(4);
  const Point<2> origin = point(0.5, 0.0);
  const InfiniteLine<2> line{direction(0.0, -1.0), origin};
  const LineWalk walk{world.remesher(), line};
  struct {
    char const* name;
    SurfacePath path;
    double distance;
    bool stops;
  } const cases[] = {
      {"vertex reached", {{0, 2}, Position::vertex0, 4, true}, 10.0, true},
      {"inner edge within the disc", {{0, 2}, Position::inside, NO_ID, true}, 10.0, false},
      // Edge 4 -> 0 is crossed at (0.5, 0.5): its end 4 lies beyond 0.6.
      {"crossing within, an end beyond", {{0, 2}, Position::inside, NO_ID, true}, 0.6, false},
      {"crossing beyond the disc", {{0, 2}, Position::inside, NO_ID, true}, 0.4, true},
      {"border ahead", {{5, 1}, Position::inside, NO_ID, true}, 10.0, true},
      {"covered triangle ahead", {{1, 1}, Position::inside, NO_ID, true}, 10.0, true},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(walk.stop_propagation(c.path, origin, c.distance), c.stops);
  }
}

// Random lines across a jittered grid, each from a random inner edge marked
// on its left (the covered side, where the line's direction points), with
// random covered triangles and distances: every step must be the next
// crossing along the line, and the walk must stop where the stop tests
// first hold.
TEST(LineWalkTest, MatchesBruteForceOnAJitteredGrid) {
  constexpr index_t n = 12;
  WalkWorld world{test::make_jittered_grid(n, 0.2, 7)};
  ASSERT_TRUE(test::is_valid_surface(world.surface()));
  const test::ContactReference reference{world.surface()};
  auto const& surface = world.surface();
  std::mt19937 random{11};
  std::uniform_int_distribution<index_t> any_triangle{0, surface.nb_polygons() - 1};
  std::uniform_int_distribution<int> any_edge{0, 2};
  std::uniform_real_distribution<double> unit{0.0, 1.0};
  std::size_t nb_walks = 0;
  std::size_t nb_steps = 0;
  for (int trial = 0; trial < 600; ++trial) {
    SCOPED_TRACE(trial);
    for (index_t t = 0; t < surface.nb_polygons(); ++t) {
      world.cover(t, unit(random) < 0.08 ? 0 : NO_ID);
    }
    const PolygonEdge chain_edge{any_triangle(random),
                                 static_cast<local_index_t>(any_edge(random))};
    if (surface.is_edge_on_border(chain_edge)) continue;
    const auto ends = surface.polygon_edge_vertices(chain_edge);
    Point<2> const& p0 = surface.point(ends[0]);
    Point<2> const& p1 = surface.point(ends[1]);
    const double s = 0.1 + 0.8 * unit(random);
    const double angle = (unit(random) - 0.5) * 2.8;
    const Vector<2> left = perpendicular(Vector<2>{p0, p1});
    const Vector<2> turned{
        std::array<double, 2>{std::cos(angle) * left.value(0) - std::sin(angle) * left.value(1),
                              std::sin(angle) * left.value(0) + std::cos(angle) * left.value(1)}};
    const InfiniteLine<2> line{turned, p0 + Vector<2>{p0, p1} * s};
    const double distance = 0.5 + 8.0 * unit(random);

    const auto contacts = reference.line_contacts(line);
    if (contacts.passes_vertex) continue;
    auto const& crossings = contacts.crossings;
    const auto chain_pair = test::vertex_pair(surface, chain_edge);
    std::size_t first = 0;
    while (first < crossings.size() && crossings[first].edge != chain_pair) ++first;
    ASSERT_LT(first, crossings.size());

    const auto paths =
        PropagateAlongLine2D{world.remesher(), line}.along_line({{chain_edge, true}}, distance);
    ASSERT_TRUE(paths);
    const auto steps = bottom_up(*paths);
    ++nb_walks;
    nb_steps += steps.size();
    ASSERT_EQ(steps.front().edge, chain_edge);
    for (std::size_t k = 1; k < steps.size(); ++k) {
      SCOPED_TRACE(k);
      ASSERT_LT(first + k, crossings.size());
      const auto& expected = crossings[first + k];
      EXPECT_EQ(steps[k].position, Position::inside);
      EXPECT_EQ(test::vertex_pair(surface, steps[k].edge), expected.edge);
      // The step's edge belongs to the triangle the line leaves.
      const Point<2> before = (crossings[first + k - 1].point + expected.point) * 0.5;
      EXPECT_NE(point_triangle_position(before, surface.triangle(steps[k].edge.polygon_id)),
                Position::outside);
      // Stop tests: beyond the disc, border, covered triangle ahead.
      const auto vertices = surface.polygon_edge_vertices(steps[k].edge);
      const bool beyond =
          (point_point_distance<2>(surface.point(vertices[0]), line.origin()) > distance ||
           point_point_distance<2>(surface.point(vertices[1]), line.origin()) > distance) &&
          point_point_distance<2>(expected.point, line.origin()) > distance;
      const auto ahead = surface.polygon_adjacent(steps[k].edge);
      const bool stops = beyond || !ahead || world.remesher().triangle_info(*ahead) != NO_ID;
      EXPECT_EQ(stops, k + 1 == steps.size());
    }
  }
  EXPECT_GT(nb_walks, 300u);
  EXPECT_GT(nb_steps, 1500u);
}

TEST(LineWalkTest, WalkThatCannotEndThrows) {
  // A strip of squares closed into a cylinder: the last column of squares
  // joins back to the first, so a horizontal line never meets the border.
  // Vertex (i, j) is i + 6 j, at (i, j), for i < 6 and j <= 1.
  constexpr index_t m = 6;
  std::vector<std::array<double, 2>> points;
  for (index_t j = 0; j <= 1; ++j) {
    for (index_t i = 0; i < m; ++i) points.push_back({double(i), double(j)});
  }
  std::vector<std::array<index_t, 3>> triangles;
  for (index_t i = 0; i < m; ++i) {
    const index_t next = (i + 1) % m;
    triangles.push_back({i, next, next + m});
    triangles.push_back({i, next + m, i + m});
  }
  WalkWorld world{test::make_surface<2>(points, triangles)};
  const PolygonEdge chain_edge = world.edge(2, 2 + m);
  // Pointing left of 2 -> 8, so the walk runs to the right.
  const InfiniteLine<2> line{direction(-1.0, 0.0), point(2.0, 0.5)};
  const PropagateAlongLine2D walk{world.remesher(), line};
  EXPECT_THROW(walk.along_line({{chain_edge, true}}, 1e9), UlvaneException);
  // A finite distance ends the same walk: crossings at x = 2, 2.5, ..., 5,
  // the one at 4.5 lying exactly at the distance.
  const auto paths = walk.along_line({{chain_edge, true}}, 2.5);
  ASSERT_TRUE(paths);
  EXPECT_EQ(paths->size(), 7u);
}

}  // namespace
}  // namespace tarnix
