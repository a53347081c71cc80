#pragma once

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>
#include <ulvane/mesh/mesh_handles.h>

namespace tarnix {

//! One step of a walk along a segment across a triangulated surface.
//!
//! - `position` inside (1): the walk crosses the interior of `edge`, the
//!   polygon edge of the triangle it leaves; `vertex` is NO_ID.
//! - `position` vertex0 (2): the walk passes through `vertex`, and `edge` is
//!   the edge starting at `vertex` in the triangle through which the walk
//!   reached it (or left it, for a step out of a vertex).
//!
//! `flag` is set by the walks (always true) and read by nobody here.
struct SurfacePath {
  PolygonEdge edge;
  Position position;
  index_t vertex;
  bool flag;
};

//! One point of a cut: either an existing vertex (`vertex` set, `point` its
//! position, `edge` an edge starting at it) or a point inside the input edge
//! `edge` (`vertex` NO_ID). Handles name the surface as it was before the
//! cut.
template <index_t D>
struct GeometricSurfacePath {
  PolygonEdge edge;
  Point<D> point;
  index_t vertex;
};

}  // namespace tarnix
