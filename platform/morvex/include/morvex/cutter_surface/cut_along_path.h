#pragma once

#include <memory>
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

//! A polygon edge after a cut, with the polygon edge of the surface before
//! the cut that it lies on: itself for a chain edge that was kept, none for
//! an edge inside a former triangle. Replaced edges stay in storage, with
//! their attribute values, in inactive triangles.
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
  //! Every other polygon edge of the new triangles: pieces of crossed
  //! edges, edges moved to a piece, and inner edges off the chain.
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
//! these points. Each point inside an edge becomes a vertex, and both
//! triangles on that edge are divided: each piece is its triangle with some
//! vertices replaced in place, so it keeps the vertex order and the
//! orientation, and it copies the derivable polygon attributes. A created
//! vertex interpolates the derivable vertex attributes of its edge's ends.
//! No existing vertex is renumbered or merged. The divided triangles are
//! removed (kept in storage, inactive) and the pieces appended.
//!
//! Repeated points are passed once; b closes the chain when the last item
//! does not name it. With no item, a and b must already share an edge.
//!
//! Implemented for D = 2.
//! \pre `builder` edits `surface`.
//! \throw UlvaneException "[cut_along_path] ...", with the surface unchanged,
//! when a equals b or a vertex is unknown, when an item names an edge of no
//! active triangle, when the chain would pass a vertex or cross an edge
//! twice, when a piece would be flat or clockwise, or when two consecutive
//! points would share no edge after the cut.
template <index_t D>
SurfaceCutPathInfo cut_along_path(TriangulatedSurface<D> const& surface,
                                  TriangulatedSurfaceBuilder<D>& builder, index_t a, index_t b,
                                  absl::Span<GeometricSurfacePath<D> const> cuts);

//! Whether `cut_along_path` would make these cuts rather than refuse them.
//! Changes nothing. Implemented for D = 2.
template <index_t D>
bool is_cut_along_path_valid(TriangulatedSurface<D> const& surface, index_t a, index_t b,
                             absl::Span<GeometricSurfacePath<D> const> cuts);

//! A cut of `cut_along_path` computed and checked on the surface, made
//! later without planning it again. It must be made before anything else
//! edits the surface.
class SurfaceCutPlan {
 public:
  //! The plan of `cut_along_path`(surface, a, b, cuts), or none when the cut
  //! would be refused. Changes nothing.
  static std::unique_ptr<SurfaceCutPlan> create(TriangulatedSurface<2> const& surface, index_t a,
                                                index_t b,
                                                absl::Span<GeometricSurfacePath<2> const> cuts);
  ~SurfaceCutPlan();
  SurfaceCutPlan(SurfaceCutPlan const&) = delete;
  SurfaceCutPlan& operator=(SurfaceCutPlan const&) = delete;

  index_t start() const { return start_; }
  index_t end() const { return end_; }
  //! Makes the cut, as `cut_along_path` does; the plan is used up.
  //! \pre `builder` edits the planned surface, unchanged since the plan.
  SurfaceCutPathInfo apply(TriangulatedSurfaceBuilder<2>& builder);

  class Impl;

 private:
  SurfaceCutPlan(std::unique_ptr<Impl> impl, index_t a, index_t b);
  std::unique_ptr<Impl> impl_;
  index_t start_;
  index_t end_;
};

}  // namespace tarnix
