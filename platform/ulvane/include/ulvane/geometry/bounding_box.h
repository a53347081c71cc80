#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {

namespace detail {
//! Exact test of a closed 3D box against an infinite line.
bool box_intersects_line(Point<3> const& min, Point<3> const& max,
                         InfiniteLine<3> const& line);
}  // namespace detail

//! An axis-aligned closed box. It starts empty (minimum +inf, maximum −inf)
//! and grows with the points and boxes added to it.
template <index_t D>
class BoundingBox {
 public:
  BoundingBox() {
    for (index_t i = 0; i < D; ++i) {
      min_.set_value(i, std::numeric_limits<double>::infinity());
      max_.set_value(i, -std::numeric_limits<double>::infinity());
    }
  }

  //! True until a point or a non-empty box is added.
  bool is_empty() const { return !(min_.value(0) <= max_.value(0)); }

  void add_point(Point<D> const& point) {
    for (index_t i = 0; i < D; ++i) {
      min_.set_value(i, std::min(min_.value(i), point.value(i)));
      max_.set_value(i, std::max(max_.value(i), point.value(i)));
    }
  }

  void add_box(BoundingBox const& box) {
    if (box.is_empty()) return;
    add_point(box.min_);
    add_point(box.max_);
  }

  Point<D> const& min() const { return min_; }
  Point<D> const& max() const { return max_; }

  //! \throw UlvaneException when the box is empty.
  Point<D> center() const {
    check_not_empty("[BoundingBox::center] The box is empty");
    return (min_ + max_) * 0.5;
  }

  //! The vector from the minimum to the maximum.
  //! \throw UlvaneException when the box is empty.
  Vector<D> diagonal() const {
    check_not_empty("[BoundingBox::diagonal] The box is empty");
    return Vector<D>{min_, max_};
  }

  //! True when the point lies in the closed box.
  bool contains(Point<D> const& point) const {
    for (index_t i = 0; i < D; ++i) {
      if (point.value(i) < min_.value(i) || point.value(i) > max_.value(i)) return false;
    }
    return !is_empty();
  }

  //! True when the two closed boxes share a point (touching counts).
  bool intersects(BoundingBox const& box) const {
    for (index_t i = 0; i < D; ++i) {
      if (box.max_.value(i) < min_.value(i) || max_.value(i) < box.min_.value(i)) {
        return false;
      }
    }
    return !is_empty() && !box.is_empty();
  }

  //! True when the infinite line meets the closed box (touching counts),
  //! decided exactly.
  template <index_t DD = D, typename = std::enable_if_t<DD == 3>>
  bool intersects(InfiniteLine<3> const& line) const {
    return detail::box_intersects_line(min_, max_, line);
  }

  //! Euclidean distance from the point to the box when the point is outside;
  //! minus the distance to the nearest face when it is inside; 0 on the
  //! boundary; +inf for an empty box. Never above the distance from the point
  //! to anything inside the box.
  double signed_distance(Point<D> const& point) const {
    if (is_empty()) return std::numeric_limits<double>::infinity();
    double outside2 = 0.0;
    double inside = std::numeric_limits<double>::infinity();
    bool is_inside = true;
    for (index_t i = 0; i < D; ++i) {
      double const below = min_.value(i) - point.value(i);
      double const above = point.value(i) - max_.value(i);
      if (below > 0.0) {
        outside2 += below * below;
        is_inside = false;
      } else if (above > 0.0) {
        outside2 += above * above;
        is_inside = false;
      } else {
        inside = std::min(inside, std::min(-below, -above));
      }
    }
    return is_inside ? -inside : std::sqrt(outside2);
  }

 private:
  void check_not_empty(char const* message) const {
    if (is_empty()) throw UlvaneException(message);
  }

  Point<D> min_;
  Point<D> max_;
};

using BoundingBox2D = BoundingBox<2>;
using BoundingBox3D = BoundingBox<3>;

}  // namespace tarnix
