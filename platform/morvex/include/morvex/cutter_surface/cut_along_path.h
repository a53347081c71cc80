#pragma once

#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/span.h>

#include <morvex/cutter_surface/surface_path.h>
#include <ulvane/basic/common.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

namespace tarnix {

//! A vertex created by a cut, with the existing vertices it stands for.
//! A vertex created inside an edge stands for none: both origins are NO_ID.
struct SurfaceCutVertex {
  index_t vertex;
  absl::InlinedVector<index_t, 2> origins;
};

//! A polygon edge after a cut, with the polygon edges of the surface before
//! the cut that it lies on (empty for an edge inside a former triangle).
//! The replaced edges stay in storage with their attribute values.
struct SurfaceCutEdge {
  PolygonEdge new_edge;
  absl::InlinedVector<PolygonEdge, 1> replaced;
};

//! What a cut from a to b changed. The chain is the sequence of input edges
//! from a to b through the cut's points; each of its edges has one or two
//! polygon edges.
struct SurfaceCutPathInfo {
  //! The created vertices, in cut order.
  std::vector<SurfaceCutVertex> created_vertices;
  //! Every new polygon edge that lies on a polygon edge of the surface
  //! before the cut and is not a polygon edge of the chain.
  std::vector<SurfaceCutEdge> first;
  //! Per chain edge, in chain order: its polygon edge running from the a
  //! side to the b side, when there is one.
  std::vector<SurfaceCutEdge> second;
  //! Per chain edge, in chain order: its polygon edge running from the b
  //! side to the a side, when there is one.
  std::vector<SurfaceCutEdge> third;
};

//! Cuts the surface along the points of `cuts` (as `determine_cuts` gives
//! them) so that a chain of input edges runs from a to b through exactly
//! these points: each crossed edge is split at its point and both triangles
//! on it are divided, each keeping its vertex order and giving its derivable
//! polygon attributes to its pieces; each created vertex interpolates the
//! derivable vertex attributes of the crossed edge's ends. No existing
//! vertex is renumbered or merged. The divided triangles are removed (kept
//! in storage, inactive) and the pieces appended.
//!
//! Repeated points are passed once; b closes the chain when the last item
//! does not name it.
//!
//! \pre `builder` edits `surface`; the handles of `cuts` name active
//! triangles of the surface as it is before the call.
//! \throw UlvaneException, with the surface unchanged, when two consecutive
//! points share no edge after the cut, when the chain would pass a vertex
//! twice, when a point would fold a triangle, or when a handle names a
//! removed triangle.
template <index_t D>
SurfaceCutPathInfo cut_along_path(TriangulatedSurface<D> const& surface,
                                  TriangulatedSurfaceBuilder<D>& builder, index_t a, index_t b,
                                  absl::Span<GeometricSurfacePath<D> const> cuts);

}  // namespace tarnix
