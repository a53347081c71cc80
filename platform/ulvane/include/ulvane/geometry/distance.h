#pragma once

#include <tuple>

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {

//! Euclidean distance between two points.
template <index_t D>
double point_point_distance(Point<D> const& a, Point<D> const& b) {
  return Vector<D>{a, b}.length();
}

//! Distance from `point` to the closed segment and the closest point of the
//! segment (an end exactly when the projection falls beyond it, the first end
//! for a zero-length segment).
template <index_t D>
std::tuple<double, Point<D>> point_segment_projection(Point<D> const& point,
                                                      Segment<D> const& segment) {
  Point<D> const& start = segment.vertices()[0];
  Point<D> const& end = segment.vertices()[1];
  Vector<D> const direction{start, end};
  double const length2 = direction.length2();
  double const t = length2 > 0.0 ? Vector<D>{start, point}.dot(direction) / length2 : 0.0;
  Point<D> const closest = !(t > 0.0) ? start : (t >= 1.0 ? end : start + direction * t);
  return std::make_tuple(point_point_distance(point, closest), closest);
}

//! Distance from `point` to the closed segment.
template <index_t D>
double point_segment_distance(Point<D> const& point, Segment<D> const& segment) {
  return std::get<0>(point_segment_projection(point, segment));
}

//! Distance from `point` to the closed triangle and the closest point of the
//! triangle. A zero-area triangle is treated as its three edges.
std::tuple<double, Point<3>> point_triangle_distance(Point<3> const& point,
                                                     Triangle<3> const& triangle);

//! Distance from `point` to the plane (not signed) and the point's orthogonal
//! projection on the plane.
//! \throw UlvaneException when the plane's normal is not longer than 1e-30.
std::tuple<double, Point<3>> point_plane_distance(Point<3> const& point, Plane const& plane);

}  // namespace tarnix
