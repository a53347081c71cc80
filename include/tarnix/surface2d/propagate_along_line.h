#pragma once

#include <stack>
#include <vector>

#include <absl/types/optional.h>
#include <absl/types/span.h>

#include <morvex/cutter_surface/surface_path.h>
#include <morvex/cutter_surface/surface_path_finder.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>

namespace tarnix {
namespace detail {

//! The walk of a straight line across the remesher's working surface, from
//! the chain of input edges that carries a front edge's macro edge into the
//! uncovered part of the surface. Built on the caller's stack for one walk.
//!
//! Steps (`SurfacePath`, `flag` always true): position inside, the line
//! crosses the interior of `edge`; position vertex0, the line passes through
//! `vertex` and `edge` is the edge of the crossed triangle that starts at it.
//! The first step holds the raw detection value of the chain edge.
//!
//! The exit rule assumes that the first vertex of every entry edge lies on
//! side0 of the line, which holds for counter-clockwise triangles and a line
//! whose direction points away from the uncovered side (the bisector
//! direction perpendicular(start - end) of a front edge).
class PropagateAlongLine2D : public SurfacePathFinder<2> {
 public:
  //! Keeps both references; the caller keeps the remesher and the line alive
  //! for the object's lifetime.
  PropagateAlongLine2D(FrontalRemesher2D const& remesher, InfiniteLine<2> const& line);
  ~PropagateAlongLine2D();

  //! The steps of the walk, the last on top. It starts at the first chain
  //! edge (in chain order) that the line meets and stops at a vertex, at the
  //! border, before a covered triangle, or at the first edge that lies
  //! beyond `distance` from the line's origin (a crossing at exactly
  //! `distance` does not stop it). Empty when the line misses the chain.
  //! \throw UlvaneException if the walk takes more steps than the surface
  //! has triangles (it cannot end: the surface is not counter-clockwise or
  //! the line points the wrong way).
  absl::optional<SurfacePathStack> along_line(absl::Span<OrientedPolygonEdge const> edges,
                                              double distance) const;

 protected:
  //! The first one or two steps: the crossing with the first chain edge the
  //! line meets, then the step into the uncovered side (out of the twin's
  //! triangle, or the chain edge's own on the border; through an uncovered
  //! triangle around the vertex when the line passes a chain vertex).
  //! Empty when the line meets no chain edge.
  SurfacePathStack find_first_path(absl::Span<OrientedPolygonEdge const> edges) const;
  //! The segment of a chain edge in chain direction.
  Segment<2> oriented_edge_segment(OrientedPolygonEdge const& edge) const;
  //! Whether the walk ends after `path`: at a vertex, beyond the disc of
  //! radius `distance` around `origin`, at the border, or before a covered
  //! triangle.
  bool stop_propagation(SurfacePath const& path, Point<2> const& origin, double distance) const;

 private:
  FrontalRemesher2D const& remesher;
  InfiniteLine<2> const& line;
};

}  // namespace detail
}  // namespace tarnix
