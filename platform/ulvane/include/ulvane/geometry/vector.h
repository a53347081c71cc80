#pragma once

#include <cmath>

#include <ulvane/geometry/point.h>

namespace tarnix {

//! A vector of dimension D: the difference of two points.
template <index_t D>
class Vector : public Point<D> {
 public:
  Vector() = default;
  explicit Vector(std::array<double, D> values) : Point<D>(values) {}
  explicit Vector(Point<D> const& values) : Point<D>(values) {}
  //! The vector from `from` to `to`.
  Vector(Point<D> const& from, Point<D> const& to) : Point<D>(to - from) {}

  double length2() const { return dot(*this); }
  double length() const { return std::sqrt(length2()); }

  //! \throw UlvaneException when the length is not above 1e-30.
  Vector normalize() const { return *this / length(); }

  double dot(Vector const& other) const {
    double result = 0.0;
    for (index_t i = 0; i < D; ++i) result += this->value(i) * other.value(i);
    return result;
  }

  Vector operator+(Vector const& other) const {
    return Vector{Point<D>::operator+(other)};
  }
  Vector operator-(Vector const& other) const {
    return Vector{Point<D>::operator-(other)};
  }
  Vector operator-() const { return *this * -1.0; }
  Vector operator*(double factor) const { return Vector{Point<D>::operator*(factor)}; }
  Vector operator/(double divisor) const { return Vector{Point<D>::operator/(divisor)}; }
  Vector& operator+=(Vector const& other) { return *this = *this + other; }
  Vector& operator-=(Vector const& other) { return *this = *this - other; }
  Vector& operator*=(double factor) { return *this = *this * factor; }
  Vector& operator/=(double divisor) { return *this = *this / divisor; }

  //! The 3D cross product.
  template <index_t DD = D, typename = std::enable_if_t<DD == 3>>
  Vector cross(Vector const& other) const {
    return Vector{std::array<double, 3>{this->value(1) * other.value(2) - this->value(2) * other.value(1),
                    this->value(2) * other.value(0) - this->value(0) * other.value(2),
                    this->value(0) * other.value(1) - this->value(1) * other.value(0)}};
  }
};

using Vector2D = Vector<2>;
using Vector3D = Vector<3>;

//! The vector turned a quarter turn counter-clockwise: (−y, x).
inline Vector<2> perpendicular(Vector<2> const& vector) {
  return Vector<2>{std::array<double, 2>{-vector.value(1), vector.value(0)}};
}

}  // namespace tarnix
