#pragma once

namespace tarnix {
namespace detail {

//! The one snapping tolerance of the modification layer, relative to the
//! local scale (the longest edge of the triangle or edge concerned): a
//! point closer than this fraction of it to a vertex is taken to be that
//! vertex. Floating-point noise in computed crossing points is far below it,
//! and it keeps inserted points from making slivers of no useful size.
inline constexpr double SNAPPING_RELATIVE_EPSILON = 1e-10;

}  // namespace detail
}  // namespace tarnix
