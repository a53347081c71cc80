#pragma once

#include <absl/types/optional.h>

#include <morvex/cutter_surface/surface_path.h>
#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/basic/common.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>
#include <ulvane/mesh/mesh_handles.h>
#include <vantrel/surface_common/propagate_along_surface_macro_edge.h>

namespace tarnix {
namespace detail {

class PropagateAlongSurfaceMacroEdge2DPeer;

//! The walk along the segment from vertex a to vertex b of the remesher's
//! working surface, with the planar answers to the walk's questions.
//! Built on the caller's stack for one `along_segment` call.
//!
//! The working surface's triangles are counter-clockwise, so the first
//! vertex of every entry edge lies on side0 of the segment a->b (its left),
//! and the side of the opposite vertex alone decides the exit.
class PropagateAlongSurfaceMacroEdge2D : public PropagateAlongSurfaceMacroEdge<2> {
 public:
  //! \pre `begin` and `end` are vertices of the remesher's working surface;
  //! the remesher outlives the object.
  PropagateAlongSurfaceMacroEdge2D(FrontalRemesher<2> const& remesher, index_t begin, index_t end);
  ~PropagateAlongSurfaceMacroEdge2D() override;

 private:
  friend class PropagateAlongSurfaceMacroEdge2DPeer;

  //! The step out of the triangle entered through `edge`: through the vertex
  //! opposite `edge` when it lies on the segment's line, else across the
  //! edge that the segment leaves by. Always engaged.
  absl::optional<SurfacePath> next_intersection(PolygonEdge const& edge) const override;
  //! Where `segment` meets the walked segment, relative to `segment`;
  //! outside unless both segments report a contact.
  Position segment_intersects(Segment<2> const& segment) const override;
  //! Always true: in the plane every edge crossing is acceptable.
  bool is_edge_intersection_ok(Point<2> const& p0, Point<2> const& p1) const override;
  //! Always true: in the plane every edge orientation is acceptable.
  bool is_edge_orientation_ok(Point<2> const& p0, Point<2> const& p1) const override;
};

}  // namespace detail
}  // namespace tarnix
