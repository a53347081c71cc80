#pragma once

#include <array>
#include <cmath>
#include <ostream>
#include <utility>

#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>

namespace tarnix {

namespace detail {
//! Divisors and lengths not above this are refused.
inline constexpr double DIVISION_GUARD = 1e-30;

//! True when the divisor can be used: its magnitude is above the guard
//! (a not-a-number divisor is refused too).
inline bool is_divisor_valid(double divisor) { return std::fabs(divisor) > DIVISION_GUARD; }
}  // namespace detail

//! A point of dimension D with double coordinates.
template <index_t D>
class Point {
 public:
  Point() { values_.fill(0.0); }
  explicit Point(std::array<double, D> values) : values_(values) {}

  double value(index_t index) const { return values_[index]; }
  void set_value(index_t index, double value) { values_[index] = value; }
  std::array<double, D> const& values() const { return values_; }

  friend bool operator==(Point const& a, Point const& b) { return a.values_ == b.values_; }
  friend bool operator!=(Point const& a, Point const& b) { return !(a == b); }

  Point operator+(Point const& other) const {
    Point result;
    for (index_t i = 0; i < D; ++i) result.values_[i] = values_[i] + other.values_[i];
    return result;
  }
  Point operator-(Point const& other) const {
    Point result;
    for (index_t i = 0; i < D; ++i) result.values_[i] = values_[i] - other.values_[i];
    return result;
  }
  Point operator*(double factor) const {
    Point result;
    for (index_t i = 0; i < D; ++i) result.values_[i] = values_[i] * factor;
    return result;
  }
  //! \throw UlvaneException when the divisor is not above 1e-30 in magnitude.
  Point operator/(double divisor) const {
    if (!detail::is_divisor_valid(divisor)) {
      throw UlvaneException("[Point::operator/] Cannot divide Point by something close to zero");
    }
    Point result;
    for (index_t i = 0; i < D; ++i) result.values_[i] = values_[i] / divisor;
    return result;
  }
  Point& operator+=(Point const& other) { return *this = *this + other; }
  Point& operator-=(Point const& other) { return *this = *this - other; }
  Point& operator*=(double factor) { return *this = *this * factor; }
  Point& operator/=(double divisor) { return *this = *this / divisor; }

  //! Coordinates in lexicographic order (for sorting and maps).
  friend bool operator<(Point const& a, Point const& b) { return a.values_ < b.values_; }

  template <typename H>
  friend H AbslHashValue(H h, Point const& p) {
    return H::combine(std::move(h), p.values_);
  }

  friend std::ostream& operator<<(std::ostream& out, Point const& p) {
    out << '(';
    for (index_t i = 0; i < D; ++i) out << (i ? ", " : "") << p.values_[i];
    return out << ')';
  }

 private:
  std::array<double, D> values_;
};

using Point2D = Point<2>;
using Point3D = Point<3>;

}  // namespace tarnix
