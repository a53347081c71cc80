#pragma once

#include <array>

#include <ulvane/geometry/point.h>

namespace tarnix {

//! The sign of a determinant.
enum class Sign : int { negative = -1, zero = 0, positive = 1 };

//! The opposite sign (zero stays zero).
inline Sign opposite(Sign sign) { return static_cast<Sign>(-static_cast<int>(sign)); }

//! Exact sign of cross(b − a, c − a): positive when a, b, c turn
//! counter-clockwise, zero exactly when they are collinear.
//! A floating-point filter decides almost every call; the rest are evaluated
//! exactly, for every finite double input.
//! \throw UlvaneException when a coordinate is not finite and the filter
//! cannot decide.
Sign orientation_2d(Point<2> const& a, Point<2> const& b, Point<2> const& c);

//! Exact sign of dot((b − a) × (c − a), d − a): positive when d lies on the
//! side the right-hand normal of triangle (a, b, c) points to, zero exactly
//! when the four points are coplanar.
//! \throw UlvaneException when a coordinate is not finite and the filter
//! cannot decide.
Sign orientation_3d(Point<3> const& a, Point<3> const& b, Point<3> const& c,
                    Point<3> const& d);

namespace detail {

//! Exact sign of the 2 × 2 determinant whose entry k (row-major) is
//! u[k] − v[k], for every finite double input. The differences are never
//! rounded, so rows may be a direction (v = 0) or the difference of two points.
//! \throw UlvaneException when an input is not finite and the filter cannot
//! decide.
Sign determinant_sign_2d(std::array<double, 4> const& u, std::array<double, 4> const& v);

//! Exact sign of the 3 × 3 determinant whose entry k (row-major) is
//! u[k] − v[k], for every finite double input.
//! \throw UlvaneException when an input is not finite and the filter cannot
//! decide.
Sign determinant_sign_3d(std::array<double, 9> const& u, std::array<double, 9> const& v);

}  // namespace detail
}  // namespace tarnix
