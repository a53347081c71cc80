#pragma once

#include <array>

#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {

//! A segment between two points; it stores copies of them.
template <index_t D>
class Segment {
 public:
  Segment(Point<D> const& p0, Point<D> const& p1) : vertices_{{p0, p1}} {}

  std::array<Point<D>, 2> const& vertices() const { return vertices_; }
  Vector<D> direction() const { return Vector<D>{vertices_[0], vertices_[1]}; }
  double length() const { return direction().length(); }
  //! The midpoint.
  Point<D> barycenter() const { return (vertices_[0] + vertices_[1]) * 0.5; }

 private:
  std::array<Point<D>, 2> vertices_;
};

//! An infinite line through `origin` along `direction` (direction first).
template <index_t D>
class InfiniteLine {
 public:
  InfiniteLine(Vector<D> const& direction, Point<D> const& origin)
      : direction_(direction), origin_(origin) {}
  explicit InfiniteLine(Segment<D> const& segment)
      : InfiniteLine(segment.direction(), segment.vertices()[0]) {}

  Vector<D> const& direction() const { return direction_; }
  Point<D> const& origin() const { return origin_; }

 private:
  Vector<D> direction_;
  Point<D> origin_;
};

//! A triangle of three points; it stores copies of them.
template <index_t D>
class Triangle {
 public:
  Triangle(Point<D> const& p0, Point<D> const& p1, Point<D> const& p2)
      : vertices_{{p0, p1, p2}} {}

  std::array<Point<D>, 3> const& vertices() const { return vertices_; }
  Point<D> barycenter() const { return (vertices_[0] + vertices_[1] + vertices_[2]) / 3.0; }

 private:
  std::array<Point<D>, 3> vertices_;
};

//! A plane of points x with dot(normal, x) + plane_constant() = 0.
class Plane {
 public:
  Plane(Vector<3> const& normal, Point<3> const& origin)
      : normal_(normal), origin_(origin) {}

  Vector<3> const& normal() const { return normal_; }
  Point<3> const& origin() const { return origin_; }
  //! −dot(normal, origin), so that the origin lies on the plane.
  double plane_constant() const { return -normal_.dot(Vector<3>{origin_}); }

 private:
  Vector<3> normal_;
  Point<3> origin_;
};

}  // namespace tarnix
