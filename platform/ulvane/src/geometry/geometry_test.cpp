#include <ulvane/geometry.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace tarnix {
namespace {

Point<2> p2(double x, double y) { return Point<2>{{x, y}}; }
Point<3> p3(double x, double y, double z) { return Point<3>{{x, y, z}}; }
Vector<2> v2(double x, double y) { return Vector<2>{{x, y}}; }
Vector<3> v3(double x, double y, double z) { return Vector<3>{{x, y, z}}; }

template <typename F>
std::string exception_message(F&& f) {
  try {
    f();
  } catch (UlvaneException const& e) {
    return e.what();
  }
  return "no exception";
}

std::string const kDivideMessage =
    "[Point::operator/] Cannot divide Point by something close to zero";

TEST(PointTest, DivisionAndNormalizeGuards) {
  EXPECT_EQ(p2(2, 4) / 2.0, p2(1, 2));
  EXPECT_EQ(p2(3, 6) / -3.0, p2(-1, -2));
  for (double const divisor :
       {0.0, 1e-30, -1e-30, 1e-31, std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(divisor);
    EXPECT_EQ(exception_message([&] { (void)(p2(1, 1) / divisor); }), kDivideMessage);
  }
  EXPECT_NO_THROW((void)(p2(1, 1) / 1.0000001e-30));
  EXPECT_EQ(exception_message([] { (void)v3(0, 0, 0).normalize(); }), kDivideMessage);
  EXPECT_EQ(exception_message([] { (void)v3(1e-31, 0, 0).normalize(); }), kDivideMessage);
  EXPECT_EQ(v3(0, 3, 4).normalize(), v3(0, 0.6, 0.8));
}

TEST(VectorTest, Operations) {
  EXPECT_EQ(Vector<2>(p2(1, 2), p2(4, 6)), v2(3, 4));
  EXPECT_EQ(v2(3, 4).length(), 5.0);
  EXPECT_EQ(v3(1, 2, 3).dot(v3(4, -5, 6)), 12.0);
  EXPECT_EQ(v3(1, 0, 0).cross(v3(0, 1, 0)), v3(0, 0, 1));
  EXPECT_EQ(v3(0, 1, 0).cross(v3(1, 0, 0)), v3(0, 0, -1));
  EXPECT_EQ(v2(1, 2) + v2(3, 4) * 2.0 - v2(1, 1), v2(6, 9));
}

// perpendicular turns counter-clockwise, like the triangles.
TEST(VectorTest, PerpendicularTurnsCounterClockwise) {
  EXPECT_EQ(perpendicular(v2(1, 0)), v2(0, 1));
  EXPECT_EQ(perpendicular(v2(0, 1)), v2(-1, 0));
  EXPECT_EQ(perpendicular(v2(3, -2)), v2(2, 3));
  // The apex m + perpendicular(u) h of an edge (s, e), u along s → e, lies on
  // the left, where the third vertex of a counter-clockwise triangle lies.
  Point<2> const s = p2(0, 0);
  Point<2> const e = p2(2, 0);
  Point<2> const apex = (s + e) * 0.5 + perpendicular(Vector<2>{s, e}.normalize()) * 1.5;
  EXPECT_EQ(apex, p2(1, 1.5));
  EXPECT_EQ(orientation_2d(s, e, apex), Sign::positive);
}

TEST(BasicObjectsTest, SegmentLinePlane) {
  Segment<3> const segment{p3(0, 0, 0), p3(2, 4, 6)};
  EXPECT_EQ(segment.barycenter(), p3(1, 2, 3));
  EXPECT_EQ(segment.vertices()[1], p3(2, 4, 6));
  InfiniteLine<2> const line{v2(1, 2), p2(3, 4)};
  EXPECT_EQ(line.direction(), v2(1, 2));
  EXPECT_EQ(line.origin(), p2(3, 4));
  Plane const plane{v3(1, 2, 3), p3(1, 1, 1)};
  EXPECT_EQ(plane.plane_constant(), -6.0);
  // The reference point K[i] = −(h + N[j] + N[k]) / N[i] lies on the plane.
  double const h = plane.plane_constant();
  Point<3> const k = p3(1, 1, -(h + 1 + 2) / 3);
  EXPECT_NEAR(plane.normal().dot(Vector<3>{k}) + h, 0.0, 1e-15);
  Plane const flat{v3(0, 0, 1), p3(5, 6, 7)};
  EXPECT_EQ(flat.plane_constant(), -7.0);
}

// side0 is the left of a directed segment, where the third vertex of a
// counter-clockwise triangle lies; for a line it is the right of the
// direction.
TEST(SideTest, WorkedExamples) {
  struct Case {
    Point<2> point;
    Side to_segment;
    Side to_line;
  } const cases[] = {
      {p2(0.5, 1), Side::side0, Side::side1},
      {p2(0.5, -1), Side::side1, Side::side0},
      {p2(3, 0), Side::on_line, Side::on_line},
      {p2(-3, 0), Side::on_line, Side::on_line},
      {p2(0.5, 1e-300), Side::side0, Side::side1},
  };
  Segment<2> const segment{p2(0, 0), p2(1, 0)};
  InfiniteLine<2> const line{v2(1, 0), p2(0, 0)};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point);
    EXPECT_EQ(point_side_to_segment(c.point, segment), c.to_segment);
    EXPECT_EQ(point_side_to_line(c.point, line), c.to_line);
  }
  // Every point is on a line with no direction, and on a zero-length segment.
  EXPECT_EQ(point_side_to_line(p2(1, 2), InfiniteLine<2>{v2(0, 0), p2(0, 0)}), Side::on_line);
  EXPECT_EQ(point_side_to_segment(p2(1, 2), Segment<2>{p2(0, 0), p2(0, 0)}), Side::on_line);
}

// The bisector of a front edge (start, end) built as
// perpendicular(start − end) through the midpoint: a walk along −d, into the
// triangle (start, end, apex) of a counter-clockwise mesh, meets entry edges
// whose first vertex lies on side0, as in the segment walk.
TEST(SideTest, BothWalksSeeEntryEdgesStartOnSide0) {
  Point<2> const start = p2(0, 0);
  Point<2> const end = p2(2, 0);
  Point<2> const apex = p2(1, 2);  // (start, end, apex) is counter-clockwise
  Vector<2> const d = perpendicular(Vector<2>{end, start});
  InfiniteLine<2> const bisector{d, (start + end) * 0.5};
  // Travelling into the triangle, the line crosses (end, apex) or
  // (apex, start) next; the entry edge (start, end) has start on side0.
  EXPECT_EQ(point_side_to_line(start, bisector), Side::side0);
  EXPECT_EQ(point_side_to_line(end, bisector), Side::side1);
  EXPECT_EQ(point_side_to_line(apex, bisector), Side::on_line);
  // Segment walk upwards: the triangle ahead, (first, second, (0, 1)), is
  // counter-clockwise, and the first vertex of its entry edge (first, second)
  // is on side0 of the walked segment.
  Segment<2> const walked{p2(0, -1), p2(0, 3)};
  Point<2> const first = p2(-1, 0);
  Point<2> const second = p2(1, 0);
  EXPECT_EQ(orientation_2d(first, second, p2(0, 1)), Sign::positive);
  EXPECT_EQ(point_side_to_segment(first, walked), Side::side0);
  EXPECT_EQ(point_side_to_segment(second, walked), Side::side1);
}

TEST(PositionTest, PointOnSegmentAndTriangle) {
  Segment<2> const segment{p2(0, 0), p2(2, 2)};
  EXPECT_EQ(point_segment_position(p2(0, 0), segment), Position::vertex0);
  EXPECT_EQ(point_segment_position(p2(2, 2), segment), Position::vertex1);
  EXPECT_EQ(point_segment_position(p2(1, 1), segment), Position::inside);
  EXPECT_EQ(point_segment_position(p2(3, 3), segment), Position::outside);
  EXPECT_EQ(point_segment_position(p2(1, std::nextafter(1.0, 2.0)), segment),
            Position::outside);

  Triangle<2> const triangle{p2(0, 0), p2(4, 0), p2(0, 4)};
  struct Case {
    Point<2> point;
    Position expected;
  } const cases[] = {
      {p2(1, 1), Position::inside},  {p2(0, 0), Position::vertex0},
      {p2(4, 0), Position::vertex1}, {p2(0, 4), Position::vertex2},
      {p2(2, 0), Position::edge0},   {p2(2, 2), Position::edge1},
      {p2(0, 2), Position::edge2},   {p2(3, 3), Position::outside},
      {p2(-1, 0), Position::outside},
  };
  Triangle<2> const clockwise{p2(0, 0), p2(0, 4), p2(4, 0)};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point);
    EXPECT_EQ(point_triangle_position(c.point, triangle), c.expected);
  }
  EXPECT_EQ(point_triangle_position(p2(2, 2), clockwise), Position::edge1);
  EXPECT_EQ(point_triangle_position(p2(1, 1), clockwise), Position::inside);
  Triangle<2> const flat{p2(0, 0), p2(2, 0), p2(4, 0)};
  EXPECT_EQ(point_triangle_position(p2(1, 0), flat), Position::edge0);
  EXPECT_EQ(point_triangle_position(p2(2, 0), flat), Position::vertex1);
  EXPECT_EQ(point_triangle_position(p2(1, 1), flat), Position::outside);
}

TEST(IntersectionTest, SegmentLineDetectionAndPoint) {
  Segment<2> const segment{p2(0, 0), p2(2, 0)};
  struct Case {
    char const* name;
    InfiniteLine<2> line;
    Position expected;
    IntersectionType type;
    Point<2> point;
  } const cases[] = {
      {"crossing", {v2(0, 1), p2(0.5, 3)}, Position::inside, IntersectionType::intersect,
       p2(0.5, 0)},
      {"through the first point", {v2(1, 1), p2(1, 1)}, Position::vertex0,
       IntersectionType::intersect, p2(0, 0)},
      {"through the second point", {v2(0, -1), p2(2, 5)}, Position::vertex1,
       IntersectionType::intersect, p2(2, 0)},
      {"along the segment", {v2(-3, 0), p2(7, 0)}, Position::parallel,
       IntersectionType::parallel, p2(0, 0)},
      {"no direction", {v2(0, 0), p2(7, 1)}, Position::parallel, IntersectionType::parallel,
       p2(0, 0)},
      {"beside", {v2(0, 1), p2(3, 0)}, Position::outside, IntersectionType::none, p2(0, 0)},
      {"parallel beside", {v2(1, 0), p2(0, 1)}, Position::outside, IntersectionType::none,
       p2(0, 0)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(segment_line_intersection_detection(segment, c.line), c.expected);
    auto const result = segment_line_intersection(segment, c.line);
    EXPECT_EQ(result.type, c.type);
    EXPECT_EQ(result.result.has_value(), c.type == IntersectionType::intersect);
    if (result.result) {
      EXPECT_EQ(*result.result, c.point);
    }
  }
  EXPECT_EQ(static_cast<int>(IntersectionType::intersect), 1);
}

TEST(IntersectionTest, SegmentSegmentDetectionAndPoint) {
  Segment<2> const s{p2(0, 0), p2(4, 0)};
  struct Case {
    char const* name;
    Segment<2> w;
    Position first;
    Position second;
    IntersectionType type;
    Point<2> point;
  } const cases[] = {
      {"crossing", {p2(1, -1), p2(1, 1)}, Position::inside, Position::inside,
       IntersectionType::intersect, p2(1, 0)},
      {"w ends on s", {p2(2, 3), p2(2, 0)}, Position::inside, Position::vertex1,
       IntersectionType::intersect, p2(2, 0)},
      {"s ends on w", {p2(4, -1), p2(4, 1)}, Position::vertex1, Position::inside,
       IntersectionType::intersect, p2(4, 0)},
      {"shared end", {p2(0, 0), p2(-1, 5)}, Position::vertex0, Position::vertex0,
       IntersectionType::intersect, p2(0, 0)},
      {"w's line crosses s, w too short", {p2(1, 1), p2(1, 2)}, Position::inside,
       Position::outside, IntersectionType::none, p2(0, 0)},
      {"s's line crosses w, s too short", {p2(5, -1), p2(5, 1)}, Position::outside,
       Position::inside, IntersectionType::none, p2(0, 0)},
      {"collinear overlap", {p2(3, 0), p2(9, 0)}, Position::parallel, Position::parallel,
       IntersectionType::parallel, p2(0, 0)},
      {"collinear, w inside s", {p2(3, 0), p2(1, 0)}, Position::parallel, Position::parallel,
       IntersectionType::parallel, p2(0, 0)},
      {"collinear, touching at ends", {p2(4, 0), p2(6, 0)}, Position::vertex1,
       Position::vertex0, IntersectionType::intersect, p2(4, 0)},
      {"collinear, disjoint", {p2(5, 0), p2(6, 0)}, Position::outside, Position::outside,
       IntersectionType::none, p2(0, 0)},
      {"parallel, disjoint", {p2(0, 1), p2(4, 1)}, Position::outside, Position::outside,
       IntersectionType::none, p2(0, 0)},
      {"zero-length w inside s", {p2(1, 0), p2(1, 0)}, Position::inside, Position::vertex0,
       IntersectionType::intersect, p2(1, 0)},
      {"zero-length w beside s", {p2(1, 1), p2(1, 1)}, Position::outside, Position::outside,
       IntersectionType::none, p2(0, 0)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const positions = segment_segment_intersection_detection(s, c.w);
    EXPECT_EQ(positions.first, c.first);
    EXPECT_EQ(positions.second, c.second);
    // Swapping the segments swaps the members.
    auto const swapped = segment_segment_intersection_detection(c.w, s);
    EXPECT_EQ(swapped.first, c.second);
    EXPECT_EQ(swapped.second, c.first);
    auto const result = segment_segment_intersection(s, c.w);
    EXPECT_EQ(result.type, c.type);
    if (c.type == IntersectionType::intersect) {
      ASSERT_TRUE(result.result.has_value());
      EXPECT_EQ(*result.result, c.point);
    } else {
      EXPECT_FALSE(result.result.has_value());
    }
  }
}

// The computed crossing point of two segments in general position stays on
// both segments up to rounding.
TEST(IntersectionTest, SegmentCrossingPointLiesOnBoth) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> coordinate(-100.0, 100.0);
  int crossings = 0;
  for (int i = 0; i < 2000; ++i) {
    Segment<2> const s{p2(coordinate(rng), coordinate(rng)), p2(coordinate(rng), coordinate(rng))};
    Segment<2> const w{p2(coordinate(rng), coordinate(rng)), p2(coordinate(rng), coordinate(rng))};
    auto const result = segment_segment_intersection(s, w);
    if (result.type != IntersectionType::intersect) continue;
    ++crossings;
    EXPECT_LT(point_segment_distance(*result.result, s), 1e-9);
    EXPECT_LT(point_segment_distance(*result.result, w), 1e-9);
  }
  EXPECT_GT(crossings, 100);
}

TEST(IntersectionTest, SegmentTriangleDetection3D) {
  //   v2 (0,1,0)
  //   | \       triangle in the plane z = 0
  //   v0--v1
  Triangle<3> const triangle{p3(0, 0, 0), p3(1, 0, 0), p3(0, 1, 0)};
  struct Case {
    char const* name;
    Segment<3> segment;
    Position first;
    Position second;
  } const cases[] = {
      {"true crossing", {p3(0.25, 0.25, -1), p3(0.25, 0.25, 1)}, Position::inside,
       Position::inside},
      {"crossing through edge 0", {p3(0.5, 0, -1), p3(0.5, 0, 1)}, Position::inside,
       Position::edge0},
      {"crossing through edge 1", {p3(0.5, 0.5, 1), p3(0.5, 0.5, -1)}, Position::inside,
       Position::edge1},
      {"crossing through vertex 2", {p3(0, 1, 1), p3(0, 1, -3)}, Position::inside,
       Position::vertex2},
      {"first point inside the triangle", {p3(0.25, 0.25, 0), p3(1, 1, 1)}, Position::vertex0,
       Position::inside},
      {"second point on edge 2", {p3(1, 1, 1), p3(0, 0.5, 0)}, Position::vertex1,
       Position::edge2},
      {"shared vertex v0", {p3(0, 0, 0), p3(0, 0, 1)}, Position::vertex0, Position::vertex0},
      {"shared vertex v1", {p3(-1, 2, 1), p3(1, 0, 0)}, Position::vertex1, Position::vertex1},
      {"shared edge", {p3(0, 0, 0), p3(1, 0, 0)}, Position::parallel, Position::parallel},
      {"shared edge, reversed", {p3(0, 1, 0), p3(1, 0, 0)}, Position::parallel,
       Position::parallel},
      {"coplanar, disjoint", {p3(2, 0, 0), p3(3, 0, 0)}, Position::parallel,
       Position::parallel},
      {"above", {p3(0.2, 0.2, 1), p3(0.3, 0.3, 2)}, Position::outside, Position::outside},
      {"its line misses", {p3(2, 2, -1), p3(2, 2, 1)}, Position::outside, Position::outside},
      {"touches the plane beside", {p3(2, 2, 0), p3(2, 2, 1)}, Position::outside,
       Position::outside},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const positions = segment_triangle_intersection_detection(c.segment, triangle);
    EXPECT_EQ(positions.first, c.first);
    EXPECT_EQ(positions.second, c.second);
  }
  EXPECT_EQ(static_cast<int>(Position::parallel), 19);
  Triangle<3> const flat{p3(0, 0, 0), p3(1, 1, 1), p3(2, 2, 2)};
  EXPECT_EQ(segment_triangle_intersection_detection(Segment<3>{p3(0, 1, -1), p3(0, 1, 1)}, flat)
                .first,
            Position::parallel);
}

// Two triangles folded along a shared edge, as on two surfaces meeting at a
// boundary line: the shared edge gives 19 and no edge of one triangle reports
// a crossing of the other.
//
//        c          c = (0.3, 1, 0); d = (0.5, -0.5, 0.7) lies above the
//       / \.        plane z = 0 of a, b, c
//      a---b      shared edge a–b
//       \ /.
//        d
TEST(IntersectionTest, FoldedNeighboursReportNoCrossing) {
  Point<3> const a = p3(0, 0, 0);
  Point<3> const b = p3(1, 0, 0);
  Point<3> const c = p3(0.3, 1, 0);
  Point<3> const d = p3(0.5, -0.5, 0.7);
  Triangle<3> const upper{a, b, c};
  Triangle<3> const lower{b, a, d};
  for (auto const& edge : {Segment<3>{b, a}, Segment<3>{a, d}, Segment<3>{d, b}}) {
    auto const positions = segment_triangle_intersection_detection(edge, upper);
    EXPECT_NE(positions.first, Position::inside);
    EXPECT_NE(positions.second, Position::inside);
  }
  EXPECT_EQ(segment_triangle_intersection_detection(Segment<3>{b, a}, upper).first,
            Position::parallel);
  auto const at_vertex = segment_triangle_intersection_detection(Segment<3>{a, d}, upper);
  EXPECT_EQ(at_vertex.first, Position::vertex0);
  EXPECT_EQ(at_vertex.second, Position::vertex0);
  // An edge poking through the other triangle is a crossing.
  Triangle<3> const through{p3(0.15, -1, -1), p3(0.15, 3, -1), p3(0.15, 0.5, 2)};
  auto const cross = segment_triangle_intersection_detection(Segment<3>{a, c}, through);
  EXPECT_EQ(cross.first, Position::inside);
  EXPECT_EQ(cross.second, Position::inside);
}

TEST(IntersectionTest, LineTriangleIntersection) {
  Triangle<3> const triangle{p3(0, 0, 1), p3(2, 0, 1), p3(0, 2, 1)};
  struct Case {
    char const* name;
    InfiniteLine<3> line;
    IntersectionType type;
    Point<3> point;
  } const cases[] = {
      {"inside", {v3(0, 0, 1), p3(0.5, 0.5, 0)}, IntersectionType::intersect,
       p3(0.5, 0.5, 1)},
      {"inside, against the normal", {v3(0, 0, -2), p3(0.5, 0.25, 7)},
       IntersectionType::intersect, p3(0.5, 0.25, 1)},
      {"oblique", {v3(1, 1, 1), p3(0, 0, 0)}, IntersectionType::intersect, p3(1, 1, 1)},
      {"through a vertex", {v3(1, -1, 3), p3(1, 1, -2)}, IntersectionType::intersect,
       p3(2, 0, 1)},
      {"on an edge", {v3(0, 0, 1), p3(1, 0, 5)}, IntersectionType::intersect, p3(1, 0, 1)},
      {"beside", {v3(0, 0, 1), p3(3, 3, 0)}, IntersectionType::none, p3(0, 0, 0)},
      {"parallel to the plane", {v3(1, 0, 0), p3(0, 0, 1)}, IntersectionType::parallel,
       p3(0, 0, 0)},
      {"no direction", {v3(0, 0, 0), p3(0.5, 0.5, 1)}, IntersectionType::parallel,
       p3(0, 0, 0)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const result = line_triangle_intersection(c.line, triangle);
    EXPECT_EQ(result.type, c.type);
    EXPECT_EQ(result.result.has_value(), c.type == IntersectionType::intersect);
    if (result.result) {
      EXPECT_LT(point_point_distance(*result.result, c.point), 1e-15);
    }
  }
  Triangle<3> const flat{p3(0, 0, 0), p3(1, 1, 1), p3(3, 3, 3)};
  EXPECT_EQ(line_triangle_intersection(InfiniteLine<3>{v3(0, 0, 1), p3(1, 1, 0)}, flat).type,
            IntersectionType::parallel);
}

TEST(DistanceTest, PointSegment) {
  Segment<2> const segment{p2(0, 0), p2(4, 0)};
  struct Case {
    Point<2> point;
    double distance;
  } const cases[] = {
      {p2(1, 3), 3.0}, {p2(-3, 4), 5.0}, {p2(7, -4), 5.0}, {p2(2, 0), 0.0}};
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point);
    EXPECT_DOUBLE_EQ(point_segment_distance(c.point, segment), c.distance);
  }
  EXPECT_DOUBLE_EQ(point_segment_distance(p2(3, 4), Segment<2>{p2(0, 0), p2(0, 0)}), 5.0);
  EXPECT_DOUBLE_EQ(point_point_distance(p3(1, 2, 3), p3(3, 5, 9)), 7.0);
}

// The closest point of a triangle: the projection when it falls inside,
// otherwise the closest point of the nearest edge.
std::tuple<double, Point<3>> reference_triangle_distance(Point<3> const& q,
                                                         Triangle<3> const& t) {
  auto const& v = t.vertices();
  auto best = point_segment_projection(q, Segment<3>{v[0], v[1]});
  for (int i = 1; i < 3; ++i) {
    auto const candidate = point_segment_projection(q, Segment<3>{v[i], v[(i + 1) % 3]});
    if (std::get<0>(candidate) < std::get<0>(best)) best = candidate;
  }
  auto const w = triangle_barycentric_coordinates(q, t);
  if (w[0] >= 0 && w[1] >= 0 && w[2] >= 0) {
    Point<3> const projection = v[0] * w[0] + v[1] * w[1] + v[2] * w[2];
    return {point_point_distance(q, projection), projection};
  }
  return best;
}

TEST(DistanceTest, PointTriangle) {
  Triangle<3> const triangle{p3(0, 0, 0), p3(2, 0, 0), p3(0, 2, 0)};
  struct Case {
    char const* name;
    Point<3> point;
    Point<3> closest;
  } const cases[] = {
      {"face", p3(0.5, 0.5, 3), p3(0.5, 0.5, 0)},
      {"edge 0", p3(1, -2, 1), p3(1, 0, 0)},
      {"edge 1", p3(2, 2, 0), p3(1, 1, 0)},
      {"edge 2", p3(-1, 1, 0), p3(0, 1, 0)},
      {"vertex 0", p3(-1, -1, -1), p3(0, 0, 0)},
      {"vertex 1", p3(5, -1, 0), p3(2, 0, 0)},
      {"vertex 2", p3(-1, 4, 2), p3(0, 2, 0)},
      {"on the triangle", p3(0.5, 0.25, 0), p3(0.5, 0.25, 0)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const [distance, closest] = point_triangle_distance(c.point, triangle);
    EXPECT_LT(point_point_distance(closest, c.closest), 1e-15);
    EXPECT_DOUBLE_EQ(distance, point_point_distance(c.point, c.closest));
  }
  // A zero-area triangle is its edges.
  Triangle<3> const flat{p3(0, 0, 0), p3(4, 0, 0), p3(2, 0, 0)};
  auto const [distance, closest] = point_triangle_distance(p3(3, 1, 0), flat);
  EXPECT_DOUBLE_EQ(distance, 1.0);
  EXPECT_EQ(closest, p3(3, 0, 0));
  Triangle<3> const point_like{p3(1, 1, 1), p3(1, 1, 1), p3(1, 1, 1)};
  EXPECT_DOUBLE_EQ(std::get<0>(point_triangle_distance(p3(1, 1, 3), point_like)), 2.0);

  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> coordinate(-1.0, 1.0);
  auto const r = [&] { return p3(coordinate(rng), coordinate(rng), coordinate(rng)); };
  for (int i = 0; i < 2000; ++i) {
    Triangle<3> const random{r(), r(), r()};
    Point<3> const q = r() * 2.0;
    auto const expected = reference_triangle_distance(q, random);
    auto const actual = point_triangle_distance(q, random);
    ASSERT_NEAR(std::get<0>(actual), std::get<0>(expected), 1e-12);
    ASSERT_LT(point_point_distance(std::get<1>(actual), std::get<1>(expected)), 1e-9);
  }
}

TEST(DistanceTest, PointPlane) {
  struct Case {
    char const* name;
    Plane plane;
    Point<3> point;
    double distance;
    Point<3> projection;
  } const cases[] = {
      {"unit normal", {v3(0, 0, 1), p3(5, 6, 2)}, p3(1, 1, 5), 3.0, p3(1, 1, 2)},
      {"below", {v3(0, 0, 1), p3(5, 6, 2)}, p3(1, 1, -1), 3.0, p3(1, 1, 2)},
      {"long normal", {v3(0, 10, 0), p3(0, 1, 0)}, p3(3, 5, 7), 4.0, p3(3, 1, 7)},
      {"on the plane", {v3(1, 1, 1), p3(1, 0, 0)}, p3(0, 1, 0), 0.0, p3(0, 1, 0)},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    auto const [distance, projection] = point_plane_distance(c.point, c.plane);
    EXPECT_NEAR(distance, c.distance, 1e-15);
    EXPECT_LT(point_point_distance(projection, c.projection), 1e-15);
  }
  EXPECT_EQ(exception_message([] {
              point_plane_distance(p3(0, 0, 0), Plane{v3(0, 0, 0), p3(1, 1, 1)});
            }),
            kDivideMessage);
}

TEST(TriangleFunctionsTest, BarycentricCoordinates) {
  Triangle<2> const triangle{p2(0, 0), p2(4, 0), p2(0, 2)};
  struct Case {
    Point<2> point;
    std::array<double, 3> weights;
  } const cases[] = {
      {p2(0, 0), {1, 0, 0}},        {p2(4, 0), {0, 1, 0}},     {p2(0, 2), {0, 0, 1}},
      {p2(2, 0), {0.5, 0.5, 0}},    {p2(1, 0.5), {0.5, 0.25, 0.25}},
      {p2(-4, 0), {2, -1, 0}},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point);
    auto const w = triangle_barycentric_coordinates(c.point, triangle);
    for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(w[i], c.weights[i]);
    // The same weights for the triangle placed in 3D, and for a point above it.
    Triangle<3> const lifted{p3(0, 0, 1), p3(4, 0, 1), p3(0, 2, 1)};
    auto const w3 = triangle_barycentric_coordinates(
        p3(c.point.value(0), c.point.value(1), 9), lifted);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(w3[i], c.weights[i], 1e-15);
  }
  // Clockwise order gives the same weights.
  auto const w = triangle_barycentric_coordinates(p2(1, 0.5), Triangle<2>{p2(0, 0), p2(0, 2), p2(4, 0)});
  EXPECT_DOUBLE_EQ(w[1], 0.25);
  EXPECT_DOUBLE_EQ(w[2], 0.25);

  std::string const message =
      "[triangle_barycentric_coordinates] The triangle is degenerate: its area is too small";
  EXPECT_EQ(exception_message([] {
              triangle_barycentric_coordinates(p2(1, 1), Triangle<2>{p2(0, 0), p2(1, 1), p2(2, 2)});
            }),
            message);
  EXPECT_EQ(exception_message([] {
              triangle_barycentric_coordinates(p2(0, 0),
                                               Triangle<2>{p2(0, 0), p2(1e-16, 0), p2(0, 1e-15)});
            }),
            message);
  EXPECT_EQ(exception_message([] {
              triangle_barycentric_coordinates(
                  p3(0, 0, 0), Triangle<3>{p3(0, 0, 0), p3(1, 1, 1), p3(2, 2, 2)});
            }),
            message);
}

TEST(TriangleFunctionsTest, AreasAndNormals) {
  Triangle<2> const ccw{p2(0, 0), p2(4, 0), p2(0, 2)};
  EXPECT_EQ(triangle_signed_area(ccw), 4.0);
  EXPECT_EQ(triangle_signed_area(Triangle<2>{p2(0, 0), p2(0, 2), p2(4, 0)}), -4.0);
  EXPECT_EQ(triangle_area(Triangle<2>{p2(0, 0), p2(0, 2), p2(4, 0)}), 4.0);
  Triangle<3> const t{p3(0, 0, 0), p3(0, 3, 0), p3(0, 0, 4)};
  EXPECT_EQ(triangle_area(t), 6.0);
  // Right-hand rule: (v1 − v0) × (v2 − v0).
  EXPECT_EQ(triangle_normal(t), v3(1, 0, 0));
  EXPECT_EQ(triangle_normal(Triangle<3>{p3(0, 0, 0), p3(0, 0, 4), p3(0, 3, 0)}), v3(-1, 0, 0));
  EXPECT_FALSE(triangle_normal(Triangle<3>{p3(0, 0, 0), p3(1, 1, 1), p3(2, 2, 2)}));
  EXPECT_FALSE(triangle_normal(Triangle<3>{p3(0, 0, 0), p3(1e-16, 0, 0), p3(0, 1e-15, 0)}));
}

TEST(BoundingBoxTest, DistancesAndBoxes) {
  BoundingBox<3> box;
  EXPECT_TRUE(box.is_empty());
  EXPECT_FALSE(box.intersects(box));
  EXPECT_EQ(box.signed_distance(p3(0, 0, 0)), std::numeric_limits<double>::infinity());
  box.add_point(p3(0, 0, 0));
  box.add_point(p3(2, 4, 6));
  EXPECT_EQ(box.center(), p3(1, 2, 3));
  struct Case {
    Point<3> point;
    double distance;
  } const cases[] = {
      {p3(1, 1, 1), -1.0},  {p3(1, 2, 3), -1.0}, {p3(0, 2, 3), 0.0},
      {p3(-3, 2, 3), 3.0},  {p3(5, 8, 6), 5.0},  {p3(-1, -2, 8), 3.0},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(testing::Message() << c.point);
    EXPECT_DOUBLE_EQ(box.signed_distance(c.point), c.distance);
  }
  BoundingBox<3> other;
  other.add_point(p3(2, 4, 6));  // touches at a corner
  other.add_point(p3(3, 5, 7));
  EXPECT_TRUE(box.intersects(other));
  EXPECT_TRUE(other.intersects(box));
  BoundingBox<3> apart;
  apart.add_point(p3(std::nextafter(2.0, 3.0), 0, 0));
  apart.add_point(p3(3, 1, 1));
  EXPECT_FALSE(box.intersects(apart));
  EXPECT_EQ(exception_message([] { (void)BoundingBox<3>{}.center(); }),
            "[BoundingBox::center] The box is empty");
}

TEST(BoundingBoxTest, LineIntersection) {
  BoundingBox<3> box;
  box.add_point(p3(0, 0, 0));
  box.add_point(p3(1, 1, 1));
  struct Case {
    char const* name;
    InfiniteLine<3> line;
    bool expected;
  } const cases[] = {
      {"through the middle", {v3(1, 1, 1), p3(-5, -5, -5)}, true},
      {"along an axis, inside", {v3(0, 0, 1), p3(0.5, 0.5, 10)}, true},
      {"along an axis, beside", {v3(0, 0, 1), p3(1.5, 0.5, 10)}, false},
      {"along an axis, on a face", {v3(0, 0, 1), p3(1, 0.5, 10)}, true},
      {"along an edge", {v3(0, 0, 1), p3(1, 1, -3)}, true},
      {"touching a corner only", {v3(1, -1, 0), p3(0, 2, 0)}, true},
      {"missing a corner by an ulp", {v3(1, -1, 0), p3(0, std::nextafter(2.0, 3.0), 0)}, false},
      {"skew, missing", {v3(1, 0, 0), p3(0, 2, 0.5)}, false},
      {"oblique, missing", {v3(1, 1, 0), p3(3, 0, 0.5)}, false},
      {"oblique, crossing a face", {v3(1, 2, 3), p3(0.5, 0.5, 0.5)}, true},
      {"no direction, inside", {v3(0, 0, 0), p3(0.5, 0.5, 0.5)}, true},
      {"no direction, outside", {v3(0, 0, 0), p3(2, 0.5, 0.5)}, false},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(box.intersects(c.line), c.expected);
    // The opposite direction describes the same line.
    EXPECT_EQ(box.intersects(InfiniteLine<3>{c.line.direction() * -1.0, c.line.origin()}),
              c.expected);
  }
  EXPECT_FALSE(BoundingBox<3>{}.intersects(InfiniteLine<3>{v3(1, 0, 0), p3(0, 0, 0)}));
}

}  // namespace
}  // namespace tarnix
