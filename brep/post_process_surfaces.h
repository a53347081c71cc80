#pragma once

#include <cstdint>
#include <memory>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/surface.h>

#include <morvex/modifier_model.h>
#include <vantrel/core.h>

#include "common/surface_relaxer.h"
#include "common/variable_attribute.h"

namespace tarnix {
namespace detail {

//! The mean of the normals of a vertex's triangles, some left out.
struct AveragedNormal {
  //! False when the normals cancel out.
  bool valid;
  //! Unit mean normal, (0, 0, 0) when none was summed or not valid.
  Vector<3> normal;
  std::uint32_t nb_normals;
};

//! The relaxer of one surface of a BRep. Besides the template's tests, a
//! swap must not fold the surface against the mean normals at the ends of
//! the edge, and the new edge must not already be an edge of another
//! surface between the same unique vertices.
//!
//! It keeps the vertex attribute "2d" (a local chart of the last prepared
//! vertex star in its tangent plane) on the surface mesh, also after it is
//! destroyed.
class BRepSurfaceRelaxer : public SurfaceRelaxer<BRep, BRepGeometricModifier, 3> {
 public:
  //! \throw std::bad_cast when the surface mesh is not a
  //! `TriangulatedSurface<3>`.
  //! \throw UlvaneException when "2d" or a working attribute name is
  //! registered with another storage type.
  BRepSurfaceRelaxer(BRep& brep, Surface<3> const& relaxed_surface);

  //! Swaps edges until no swap raises the smallest quality of its two
  //! triangles, then cleans the surface. A surface without triangles is
  //! left as it is.
  void post_process();

  //! Writes into "2d" the chart of the vertex star in the tangent plane:
  //! the vertex at (0, 0), each neighbour that follows it in a ring
  //! triangle in the direction of its projection, at its true distance.
  //! \return false, writing nothing, when the vertex has no normal.
  //! \throw UlvaneException "[Point::operator/] ..." when a neighbour
  //! projects onto the vertex or the plane's reference point is the vertex.
  bool prepare_smoothing(unsigned int vertex, Ring const& ring) override;

  //! The vertex's value in "2d".
  Point<2> const& local_point(unsigned int vertex) override;

  //! `is_swap_normal_valid`, then `is_swap_edge_unique`.
  bool is_swap_acceptable(SwapCandidate<3> const& candidate) override;

  //! False when the swap would lower the worst agreement between the
  //! triangles and the mean normals at the edge's ends by more than 0.1;
  //! true at once when the two triangles are nearly coplanar (dot of their
  //! normals above 0.9), when a normal is missing or when an end has no
  //! other triangle with a normal. Degenerate or cancelling normals reject.
  bool is_swap_normal_valid(SwapCandidate<3> const& candidate) const;

  //! False when another surface already has an edge between the unique
  //! vertices of R and S.
  bool is_swap_edge_unique(SwapCandidate<3> const& candidate) const;

  //! The mean of the normals of the triangles around the vertex, leaving
  //! out the triangles `first` and `second` and those without a normal.
  AveragedNormal average_vertex_normal(index_t vertex, index_t first, index_t second) const;

 private:
  std::shared_ptr<VariableAttribute<Point<2>>> local_points;
};

//! "Post-process Surfaces": edge swaps on every surface of the record's
//! output model, one relaxer per surface. Every output surface mesh keeps
//! the vertex attribute "2d"; the relaxers' working attributes are gone.
//! \throw std::bad_cast when an output surface mesh is not a
//! `TriangulatedSurface<3>`.
void post_process_surfaces(RemeshingData<BRep, 3>& data);

}  // namespace detail
}  // namespace tarnix
