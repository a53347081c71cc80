#pragma once

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>

namespace tarnix {
namespace detail {

//! The other two vertices of a triangle of a vertex's fan, seen from the
//! vertex's corner: `far` follows the vertex in the triangle (the far end of
//! the fan edge that leaves it), `opposite` precedes it; with their mesh
//! points.
template <index_t dimension>
struct FanNeighbour {
  index_t far;
  index_t opposite;
  Point<dimension> const* far_point;
  Point<dimension> const* opposite_point;
};

}  // namespace detail
}  // namespace tarnix
