#pragma once

#include <array>

#include <absl/types/optional.h>

#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {

//! Signed area: positive when the vertices turn counter-clockwise.
double triangle_signed_area(Triangle<2> const& triangle);

//! Area (not signed).
double triangle_area(Triangle<2> const& triangle);
double triangle_area(Triangle<3> const& triangle);

//! Unit normal by the right-hand rule, (v1 − v0) × (v2 − v0) normalised; empty
//! when the length of that cross product is not above 1e-30.
absl::optional<Vector<3>> triangle_normal(Triangle<3> const& triangle);

//! Barycentric coordinates of `point`: the weights of vertices 0, 1, 2, which
//! sum to 1 and reproduce the point.
//! \throw UlvaneException when twice the triangle's area is not above 1e-30.
std::array<double, 3> triangle_barycentric_coordinates(Point<2> const& point,
                                                       Triangle<2> const& triangle);

//! Barycentric coordinates of the orthogonal projection of `point` on the
//! triangle's plane.
//! \throw UlvaneException when twice the triangle's area is not above 1e-30.
std::array<double, 3> triangle_barycentric_coordinates(Point<3> const& point,
                                                       Triangle<3> const& triangle);

}  // namespace tarnix
