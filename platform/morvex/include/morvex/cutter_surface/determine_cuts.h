#pragma once

#include <vector>

#include <absl/types/span.h>

#include <morvex/cutter_surface/surface_path.h>
#include <ulvane/basic/common.h>
#include <ulvane/mesh/triangulated_surface.h>

namespace tarnix {

//! The cut points of a walk from a to b: one item per step, in order. A
//! vertex step gives that vertex. A crossing gives the point where the
//! segment a-b meets the edge, computed with compensated arithmetic; when it
//! lies within `detail::SNAPPING_RELATIVE_EPSILON` times the edge length of
//! an end of the edge, the item names that end instead (with the edge of the
//! step's triangle starting at it), so that callers see near misses. The
//! crossings next to such an item whose edges end at the same vertex name it
//! too: they lie nearly along the segment, and cutting them would leave
//! slivers beside the vertex.
//! A step with NO_ID vertex and position vertex0 or vertex1 names that end
//! of its edge.
//! \pre the steps describe the segment a-b on this surface, as
//! `detail::find_straight_surface_path` or a walk of the same conventions
//! gives them.
std::vector<GeometricSurfacePath<2>> determine_cuts(TriangulatedSurface<2> const& surface,
                                                    index_t a, index_t b,
                                                    absl::Span<SurfacePath const> paths);

}  // namespace tarnix
