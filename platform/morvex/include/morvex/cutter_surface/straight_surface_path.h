#pragma once

#include <vector>

#include <absl/types/optional.h>

#include <morvex/cutter_surface/surface_path.h>
#include <ulvane/basic/common.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {
namespace detail {

//! The steps of the straight segment from vertex a to vertex b across the
//! active triangles of a counter-clockwise surface, in order from a to b.
//! Every side decision is an exact orientation test on the mesh points.
//!
//! Step conventions (see `SurfacePath`):
//! - no step for a itself;
//! - leaving a vertex w (a, or a vertex passed), the walk takes the first
//!   triangle of `polygons_around_vertex(w)` whose corner at w holds the
//!   direction to b; the segment then either runs along one of that
//!   triangle's edges at w (a vertex step at its other end) or crosses the
//!   edge opposite w ({that edge, inside, NO_ID});
//! - inside a triangle entered through an edge, the walk leaves through the
//!   edge the segment crosses ({exit edge, inside, NO_ID}) or through the
//!   opposite vertex when that vertex lies exactly on the segment
//!   ({edge starting at it, vertex0, vertex});
//! - the last step is the vertex step at b.
//!
//! Empty when a equals b, when a is in no active triangle, and when the
//! segment leaves the surface (crosses a border edge, or leaves a border
//! vertex outwards).
//! \throw UlvaneException "[find_straight_surface_path] ..." when the walk
//! takes more steps than the surface has triangles and vertices, which only
//! a clockwise or inconsistently glued surface allows.
absl::optional<std::vector<SurfacePath>> find_straight_surface_path(
    TriangulatedSurface<2> const& surface, index_t a, index_t b);

}  // namespace detail
}  // namespace tarnix
