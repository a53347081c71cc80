#include <ulvane/geometry/position.h>

#include <algorithm>

#include "exact_sides.h"

namespace tarnix {
namespace {

Side side_from(Sign sign, Sign side0_sign) {
  if (sign == Sign::zero) return Side::on_line;
  return sign == side0_sign ? Side::side0 : Side::side1;
}

}  // namespace

Side point_side_to_segment(Point<2> const& point, Segment<2> const& segment) {
  auto const& v = segment.vertices();
  return side_from(orientation_2d(v[0], v[1], point), Sign::positive);
}

Side point_side_to_line(Point<2> const& point, InfiniteLine<2> const& line) {
  return side_from(detail::line_point_sign(line, point), Sign::negative);
}

Position point_segment_position(Point<2> const& point, Segment<2> const& segment) {
  auto const& v = segment.vertices();
  if (point == v[0]) return Position::vertex0;
  if (point == v[1]) return Position::vertex1;
  if (orientation_2d(v[0], v[1], point) != Sign::zero) return Position::outside;
  // On the supporting line: between the ends exactly when inside their box.
  for (index_t i = 0; i < 2; ++i) {
    double const value = point.value(i);
    if (value < std::min(v[0].value(i), v[1].value(i)) ||
        value > std::max(v[0].value(i), v[1].value(i))) {
      return Position::outside;
    }
  }
  return Position::inside;
}

Position point_triangle_position(Point<2> const& point, Triangle<2> const& triangle) {
  auto const& v = triangle.vertices();
  if (orientation_2d(v[0], v[1], v[2]) == Sign::zero) {
    for (int i = 0; i < 3; ++i) {
      if (point == v[i]) return static_cast<Position>(static_cast<int>(Position::vertex0) + i);
    }
    for (int i = 0; i < 3; ++i) {
      if (point_segment_position(point, Segment<2>{v[i], v[(i + 1) % 3]}) ==
          Position::inside) {
        return static_cast<Position>(static_cast<int>(Position::edge0) + i);
      }
    }
    return Position::outside;
  }
  // The three signs are those of the barycentric weights, so their pattern
  // gives the position whatever the triangle's orientation.
  return detail::triangle_position({orientation_2d(v[0], v[1], point),
                                    orientation_2d(v[1], v[2], point),
                                    orientation_2d(v[2], v[0], point)});
}

}  // namespace tarnix
