#include <ulvane/geometry/intersection.h>

#include <algorithm>
#include <cmath>

#include "exact_sides.h"

namespace tarnix {
namespace {

// Floating-point cross(b − a, c − a); only used to place a point whose
// position has already been decided exactly.
double approximate_cross(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  return (b.value(0) - a.value(0)) * (c.value(1) - a.value(1)) -
         (b.value(1) - a.value(1)) * (c.value(0) - a.value(0));
}

// Floating-point cross(d, p − o) for the line (d, o).
double approximate_line_cross(InfiniteLine<2> const& line, Point<2> const& p) {
  Vector<2> const& d = line.direction();
  Point<2> const& o = line.origin();
  return d.value(0) * (p.value(1) - o.value(1)) - d.value(1) * (p.value(0) - o.value(0));
}

// The point of [p0, p1] at which a function that is linear along the
// segment, with the values f0 at p0 and f1 at p1 of (exactly) opposite signs,
// vanishes. The rounded values may be tiny or of the wrong sign, so their
// magnitudes are used: the result stays on the segment.
template <index_t D>
Point<D> interpolate_crossing(Point<D> const& p0, Point<D> const& p1, double f0, double f1) {
  double const a0 = std::fabs(f0);
  double const a1 = std::fabs(f1);
  double const t = a0 + a1 > 0.0 ? a0 / (a0 + a1) : 0.5;
  Point<D> result;
  for (index_t i = 0; i < D; ++i) {
    result.set_value(i, p0.value(i) + (p1.value(i) - p0.value(i)) * t);
  }
  return result;
}

// The axis along which the points spread the most; on a line that is not
// parallel to it, exact coordinate comparisons order the points along the line.
template <typename... Points>
index_t spreading_axis(Points const&... points) {
  index_t best = 0;
  double best_extent = -1.0;
  for (index_t i = 0; i < 2; ++i) {
    double const low = std::min({points.value(i)...});
    double const high = std::max({points.value(i)...});
    if (high - low > best_extent) {
      best_extent = high - low;
      best = i;
    }
  }
  return best;
}

// Contact of two segments lying on one line (either may have zero length).
std::pair<Position, Position> collinear_contact(Segment<2> const& s, Segment<2> const& w,
                                                 absl::optional<Point<2>>* contact) {
  auto const& sv = s.vertices();
  auto const& wv = w.vertices();
  index_t const axis = spreading_axis(sv[0], sv[1], wv[0], wv[1]);
  auto const low_end = [axis](std::array<Point<2>, 2> const& v) {
    return v[0].value(axis) <= v[1].value(axis) ? 0 : 1;
  };
  int const s_low = low_end(sv);
  int const w_low = low_end(wv);
  double const low = std::max(sv[s_low].value(axis), wv[w_low].value(axis));
  double const high = std::min(sv[1 - s_low].value(axis), wv[1 - w_low].value(axis));
  if (low > high) return {Position::outside, Position::outside};
  if (low < high) return {Position::parallel, Position::parallel};
  // One shared point: the end of s or of w whose coordinate is `low`.
  Point<2> const point = sv[s_low].value(axis) == low     ? sv[s_low]
                         : sv[1 - s_low].value(axis) == low ? sv[1 - s_low]
                         : wv[w_low].value(axis) == low     ? wv[w_low]
                                                            : wv[1 - w_low];
  if (contact != nullptr) *contact = point;
  auto const position_on = [&point](std::array<Point<2>, 2> const& v) {
    if (point == v[0]) return Position::vertex0;
    if (point == v[1]) return Position::vertex1;
    return Position::inside;
  };
  return {position_on(sv), position_on(wv)};
}

// The detection of two segments, with the contact point when there is exactly
// one.
std::pair<Position, Position> segment_segment_contact(Segment<2> const& s, Segment<2> const& w,
                                                       absl::optional<Point<2>>* contact) {
  auto const& sv = s.vertices();
  auto const& wv = w.vertices();
  Sign const s0 = orientation_2d(wv[0], wv[1], sv[0]);
  Sign const s1 = orientation_2d(wv[0], wv[1], sv[1]);
  Sign const w0 = orientation_2d(sv[0], sv[1], wv[0]);
  Sign const w1 = orientation_2d(sv[0], sv[1], wv[1]);
  if (s0 == Sign::zero && s1 == Sign::zero && w0 == Sign::zero && w1 == Sign::zero) {
    return collinear_contact(s, w, contact);
  }
  // Not all on one line: a zero-length segment is then a point off the other
  // segment's line.
  if (sv[0] == sv[1] || wv[0] == wv[1]) return {Position::outside, Position::outside};
  std::pair<Position, Position> const result{detail::crossing_position(s0, s1),
                                             detail::crossing_position(w0, w1)};
  if (contact != nullptr && result.first != Position::outside &&
      result.second != Position::outside) {
    if (result.first != Position::inside) {
      *contact = sv[result.first == Position::vertex0 ? 0 : 1];
    } else if (result.second != Position::inside) {
      *contact = wv[result.second == Position::vertex0 ? 0 : 1];
    } else {
      *contact = interpolate_crossing(sv[0], sv[1], approximate_cross(wv[0], wv[1], sv[0]),
                                      approximate_cross(wv[0], wv[1], sv[1]));
    }
  }
  return result;
}

// Exact sign of det[d, a − o, b − o]: which way the line (d, o) turns around
// the directed edge [a, b]. For the three edges of a triangle the signs are
// those of the barycentric weights, up to a common factor, of the point where
// the line meets the triangle's plane.
Sign line_edge_sign(Vector<3> const& d, Point<3> const& o, Point<3> const& a,
                    Point<3> const& b) {
  return detail::determinant_sign_3d(
      {d.value(0), d.value(1), d.value(2), a.value(0), a.value(1), a.value(2), b.value(0),
       b.value(1), b.value(2)},
      {0.0, 0.0, 0.0, o.value(0), o.value(1), o.value(2), o.value(0), o.value(1), o.value(2)});
}

// Exact sign of dot(d, (v1 − v0) × (v2 − v0)).
Sign direction_normal_sign(Vector<3> const& d, Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  return detail::determinant_sign_3d(
      {v[1].value(0), v[1].value(1), v[1].value(2), v[2].value(0), v[2].value(1),
       v[2].value(2), d.value(0), d.value(1), d.value(2)},
      {v[0].value(0), v[0].value(1), v[0].value(2), v[0].value(0), v[0].value(1),
       v[0].value(2), 0.0, 0.0, 0.0});
}

}  // namespace

namespace detail {

absl::optional<LineTriangleHit> line_triangle_hit(InfiniteLine<3> const& line,
                                                  Triangle<3> const& triangle) {
  Vector<3> const& d = line.direction();
  Point<3> const& o = line.origin();
  auto const& v = triangle.vertices();
  Sign const facing = direction_normal_sign(d, triangle);
  if (facing == Sign::zero) return absl::nullopt;
  std::array<Sign, 3> const signs{line_edge_sign(d, o, v[0], v[1]),
                                  line_edge_sign(d, o, v[1], v[2]),
                                  line_edge_sign(d, o, v[2], v[0])};
  Position const position = triangle_position(signs);
  Sign const origin_side = orientation_3d(v[0], v[1], v[2], o);
  LineTriangleHit hit{position, facing, origin_side, Point<3>{}};
  int const code = static_cast<int>(position);
  int const vertex0 = static_cast<int>(Position::vertex0);
  if (position == Position::outside) return hit;
  if (code >= vertex0 && code <= vertex0 + 2) {
    hit.point = v[code - vertex0];
  } else if (origin_side == Sign::zero) {
    hit.point = o;
  } else {
    Vector<3> const normal = Vector<3>{v[0], v[1]}.cross(Vector<3>{v[0], v[2]});
    double const along = d.dot(normal);
    // The exact sign is known not to be zero; a rounded zero means the
    // values underflowed, and the barycentre is then as good as any point.
    hit.point = along != 0.0 ? o + d * (Vector<3>{o, v[0]}.dot(normal) / along)
                             : triangle.barycenter();
  }
  return hit;
}

}  // namespace detail

Position segment_line_intersection_detection(Segment<2> const& segment,
                                             InfiniteLine<2> const& line) {
  auto const& v = segment.vertices();
  return detail::crossing_position(detail::line_point_sign(line, v[0]),
                                   detail::line_point_sign(line, v[1]));
}

std::pair<Position, Position> segment_segment_intersection_detection(Segment<2> const& s,
                                                                     Segment<2> const& w) {
  return segment_segment_contact(s, w, nullptr);
}

std::pair<Position, Position> segment_triangle_intersection_detection(
    Segment<3> const& segment, Triangle<3> const& triangle) {
  auto const& s = segment.vertices();
  auto const& v = triangle.vertices();
  std::pair<Position, Position> const parallel{Position::parallel, Position::parallel};
  std::pair<Position, Position> const none{Position::outside, Position::outside};
  if (detail::are_collinear(v[0], v[1], v[2])) return parallel;
  Sign const side0 = orientation_3d(v[0], v[1], v[2], s[0]);
  Sign const side1 = orientation_3d(v[0], v[1], v[2], s[1]);
  if (side0 == Sign::zero && side1 == Sign::zero) return parallel;
  if (side0 == side1) return none;
  Position const on_segment = side0 == Sign::zero   ? Position::vertex0
                              : side1 == Sign::zero ? Position::vertex1
                                                    : Position::inside;
  // The segment crosses the plane at one point; where that point lies on the
  // triangle follows from the turn of the segment's line around each edge.
  Position const on_triangle = detail::triangle_position(
      {orientation_3d(s[0], s[1], v[0], v[1]), orientation_3d(s[0], s[1], v[1], v[2]),
       orientation_3d(s[0], s[1], v[2], v[0])});
  if (on_triangle == Position::outside) return none;
  return {on_segment, on_triangle};
}

IntersectionResult<Point<2>> segment_line_intersection(Segment<2> const& segment,
                                                       InfiniteLine<2> const& line) {
  auto const& v = segment.vertices();
  IntersectionResult<Point<2>> result;
  switch (segment_line_intersection_detection(segment, line)) {
    case Position::outside:
      return result;
    case Position::parallel:
      result.type = IntersectionType::parallel;
      return result;
    case Position::vertex0:
      result.result = v[0];
      break;
    case Position::vertex1:
      result.result = v[1];
      break;
    default: {
      result.result = interpolate_crossing(v[0], v[1], approximate_line_cross(line, v[0]),
                                           approximate_line_cross(line, v[1]));
    }
  }
  result.type = IntersectionType::intersect;
  return result;
}

IntersectionResult<Point<2>> segment_segment_intersection(Segment<2> const& s,
                                                          Segment<2> const& w) {
  IntersectionResult<Point<2>> result;
  absl::optional<Point<2>> contact;
  auto const positions = segment_segment_contact(s, w, &contact);
  if (positions.first == Position::parallel) {
    result.type = IntersectionType::parallel;
  } else if (contact) {
    result.type = IntersectionType::intersect;
    result.result = contact;
  }
  return result;
}

IntersectionResult<Point<3>> line_triangle_intersection(InfiniteLine<3> const& line,
                                                        Triangle<3> const& triangle) {
  IntersectionResult<Point<3>> result;
  auto const hit = detail::line_triangle_hit(line, triangle);
  if (!hit) {
    result.type = IntersectionType::parallel;
  } else if (hit->position != Position::outside) {
    result.type = IntersectionType::intersect;
    result.result = hit->point;
  }
  return result;
}

}  // namespace tarnix
