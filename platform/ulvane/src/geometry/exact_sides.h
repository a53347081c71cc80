#pragma once

#include <array>

#include <absl/types/optional.h>

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/position.h>
#include <ulvane/geometry/predicates.h>

// Exact building blocks shared by the side, position and intersection
// functions of this library.

namespace tarnix {
namespace detail {

//! Exact sign of cross(d, point − o) for the line (d, o).
inline Sign line_point_sign(InfiniteLine<2> const& line, Point<2> const& point) {
  Vector<2> const& d = line.direction();
  Point<2> const& o = line.origin();
  return determinant_sign_2d({d.value(0), d.value(1), point.value(0), point.value(1)},
                             {0.0, 0.0, o.value(0), o.value(1)});
}

//! Where a line meets the segment [p0, p1], from the exact signs of p0 and p1
//! relative to it.
inline Position crossing_position(Sign first, Sign second) {
  if (first == Sign::zero && second == Sign::zero) return Position::parallel;
  if (first == Sign::zero) return Position::vertex0;
  if (second == Sign::zero) return Position::vertex1;
  return first == opposite(second) ? Position::inside : Position::outside;
}

//! Where a point of a triangle's plane lies on the triangle, from the exact
//! signs attached to its edges 0, 1, 2 (edge i from vertex i to vertex i + 1):
//! the signs are those of the barycentric weights of vertices 2, 0, 1, up to a
//! common factor. Three zero signs give parallel.
inline Position triangle_position(std::array<Sign, 3> const& signs) {
  bool has_positive = false;
  bool has_negative = false;
  int zeros = 0;
  int nonzero_edge = 0;
  for (int i = 0; i < 3; ++i) {
    has_positive |= signs[i] == Sign::positive;
    has_negative |= signs[i] == Sign::negative;
    if (signs[i] == Sign::zero) {
      ++zeros;
    } else {
      nonzero_edge = i;
    }
  }
  if (has_positive && has_negative) return Position::outside;
  int zero_edge = 0;
  while (zeros == 1 && signs[zero_edge] != Sign::zero) ++zero_edge;
  switch (zeros) {
    case 0:
      return Position::inside;
    case 1:
      return static_cast<Position>(static_cast<int>(Position::edge0) + zero_edge);
    case 2:
      // The two zero edges meet at the vertex opposite the other edge.
      return static_cast<Position>(static_cast<int>(Position::vertex0) +
                                   (nonzero_edge + 2) % 3);
    default:
      return Position::parallel;
  }
}

//! True when the three points lie exactly on one line (or coincide): every
//! coordinate-plane projection is then collinear.
inline bool are_collinear(Point<3> const& a, Point<3> const& b, Point<3> const& c) {
  for (index_t i = 0; i < 3; ++i) {
    index_t const j = (i + 1) % 3;
    Point<2> const pa{{a.value(i), a.value(j)}};
    Point<2> const pb{{b.value(i), b.value(j)}};
    Point<2> const pc{{c.value(i), c.value(j)}};
    if (orientation_2d(pa, pb, pc) != Sign::zero) return false;
  }
  return true;
}

//! Where a line meets a triangle that its direction is not parallel to.
struct LineTriangleHit {
  //! Position on the closed triangle (outside, inside, edge or vertex).
  Position position;
  //! Exact sign of dot(direction, (v1 − v0) × (v2 − v0)), never zero.
  Sign facing;
  //! Exact orientation_3d(v0, v1, v2, origin). The meeting point lies at
  //! parameter t along the direction with the sign of −origin_side · facing.
  Sign origin_side;
  //! The meeting point: a vertex exactly, the origin exactly when it lies on
  //! the plane, else origin + t direction; unset when outside.
  Point<3> point;
};

//! Empty when the line is parallel to the triangle's plane, the triangle has
//! zero area or the direction is zero.
absl::optional<LineTriangleHit> line_triangle_hit(InfiniteLine<3> const& line,
                                                  Triangle<3> const& triangle);

}  // namespace detail
}  // namespace tarnix
