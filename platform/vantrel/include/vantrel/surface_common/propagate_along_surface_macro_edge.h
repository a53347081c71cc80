#pragma once

#include <vector>

#include <absl/types/optional.h>

#include <morvex/cutter_surface/surface_path.h>
#include <morvex/cutter_surface/surface_path_finder.h>
#include <ulvane/basic/common.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>
#include <ulvane/mesh/mesh_handles.h>

namespace tarnix {
namespace detail {
template <index_t D>
class FrontalRemesher;
}  // namespace detail

//! The walk along the straight segment from vertex a to vertex b of a frontal
//! remesher's working surface, as a list of `SurfacePath` steps. The walk
//! itself is here; the geometric answers it needs come from the derived
//! class through the private virtual operations.
//!
//! Steps, in order from a to b (no step for a itself):
//! - crossing: {the exit edge of the triangle left, inside, NO_ID};
//! - vertex: {the edge starting at the vertex in the triangle through which
//!   the walk reached it, vertex0, the vertex}; the last step is the vertex
//!   step at b.
//!
//! The out-of-line members are compiled by the library that instantiates
//! the template (see propagate_along_surface_macro_edge_impl.h).
template <index_t D>
class PropagateAlongSurfaceMacroEdge : public SurfaceSegmentFinder<D> {
 public:
  //! Sets up the walk from `begin` (a) to `end` (b) on the remesher's working
  //! surface. The remesher must outlive the object.
  //! \pre `begin` and `end` are vertices of the working surface.
  PropagateAlongSurfaceMacroEdge(detail::FrontalRemesher<D> const& remesher, index_t begin,
                                 index_t end);
  // User-provided so that the instantiating library exports it.
  virtual ~PropagateAlongSurfaceMacroEdge() {}

  //! The steps from a to b, or empty when there is no straight path: a equals
  //! b, or the segment would leave the surface, enter a covered triangle
  //! ("triangle info" set), run along an input edge all of whose triangles
  //! are covered, cross the interior of an input edge whose own or twin
  //! "edge info" list is non-empty, or pass a vertex other than a and b that
  //! lies on such an edge. A crossing that either `is_edge_*_ok` answer
  //! rejects gives empty too.
  //! \throw UlvaneException if the walk repeats itself (more steps than the
  //! surface has polygon edges and vertices); only an inconsistent, e.g.
  //! clockwise, surface can make a straight walk go round.
  absl::optional<std::vector<SurfacePath>> along_segment() const;

 protected:
  detail::FrontalRemesher<D> const& remesher() const { return remesher_; }

 private:
  //! The step out of the triangle entered through `entry`.
  virtual absl::optional<SurfacePath> next_intersection(PolygonEdge const& entry) const = 0;
  //! Where `segment` meets the walked segment, relative to `segment`
  //! (outside, inside, vertex0, vertex1).
  virtual Position segment_intersects(Segment<D> const& segment) const = 0;
  //! Whether the walk may cross the edge between the two points.
  virtual bool is_edge_intersection_ok(Point<D> const& p0, Point<D> const& p1) const = 0;
  //! Whether the crossed edge between the two points is oriented acceptably.
  virtual bool is_edge_orientation_ok(Point<D> const& p0, Point<D> const& p1) const = 0;

  //! The first step out of vertex w towards b, or empty when none is
  //! admissible.
  absl::optional<SurfacePath> leave_vertex(index_t w) const;
  //! Whether the walk may cross the interior of `edge` into the triangle
  //! beyond it.
  bool may_cross(PolygonEdge const& edge) const;
  //! Whether the input edge of `edge` carries a macro edge (own or twin list).
  bool is_marked(PolygonEdge const& edge) const;
  //! Whether a polygon edge at vertex w carries a macro edge.
  bool is_on_marked_edge(index_t w) const;
  bool is_covered(index_t triangle) const;
  //! Whether every triangle on the input edge of `edge` is covered.
  bool is_edge_covered(PolygonEdge const& edge) const;

  detail::FrontalRemesher<D> const& remesher_;
};

}  // namespace tarnix
