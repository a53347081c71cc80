#pragma once

#include <vector>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/surface_mesh_builder.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include <morvex/modifier_common/vertex_set_modifier.h>
#include <morvex/modifier_surface/surface_edit_records.h>

namespace tarnix {

//! Collapses, splits and cleans of a triangulated surface, through its
//! builder.
//!
//! Triangles that an edit replaces are removed, not reused: they stay in
//! storage (inactive, out of every fan and adjacency) with their attribute
//! values until `clean` or `clean_triangles`, and the new triangles are
//! appended. New triangles keep the vertex order of the triangle they
//! divide and copy its derivable polygon attributes; a new vertex
//! interpolates the derivable vertex attributes of the vertices around it.
//! Every edit costs O(valence).
//!
//! Triangle handles out of range raise `std::out_of_range` "invalid vector
//! subscript"; edits of removed triangles raise `UlvaneException`.
template <index_t D>
class TriangulatedSurfaceModifier : public VertexSetModifier {
 public:
  //! \throw UlvaneException if the builder edits another mesh.
  TriangulatedSurfaceModifier(TriangulatedSurface<D> const& mesh,
                              TriangulatedSurfaceBuilder<D>& builder);

  //! False once an edit removed the triangle (until a clean renumbers).
  bool is_triangle_active(index_t triangle) const;

  //! Collapses the edge: its one or two triangles are removed and one end
  //! remains, at the point. The remaining end is the one whose point equals
  //! the target point, else vertex 0 of the edge. The other end's triangles
  //! (the fan that holds the edge) use the remaining vertex instead, and
  //! the adjacencies across the removed triangles are stitched. The merged
  //! vertex keeps its attribute values until a clean. Nothing is tested:
  //! use `is_collapse_edge_valid` first.
  //! \throw UlvaneException if the edge's triangle is removed.
  CollapseInfo collapse_edge(PolygonEdge const& edge, Point<D> const& point);

  //! Splits the triangle at the point into three triangles around a new
  //! vertex, which is the first field of the result. The split triangle's
  //! edges pair with the new edges on them.
  //! \pre in 2D, the point lies strictly inside the triangle.
  //! \throw UlvaneException if the triangle is removed, or in 2D if the
  //! point is not strictly inside it.
  SplitTriangleInfo split_triangle(index_t triangle, Point<D> const& point);

  //! Drops the removed triangles and the vertices no triangle uses,
  //! keeping the order of the others; attributes follow. Nothing is
  //! renumbered when nothing is removed. Vertex ids recorded before no
  //! longer apply: `updated_vertex` starts again from the identity.
  //! \return the old-to-new vertex and triangle indices (NO_ID: dropped).
  SurfaceCleanMappings clean();

  //! Drops the removed triangles only; no vertex is renumbered, so
  //! `updated_vertex` keeps its translations.
  //! \return the old-to-new triangle indices (NO_ID: dropped).
  std::vector<index_t> clean_triangles();

 protected:
  TriangulatedSurface<D> const& mesh() const { return mesh_; }
  TriangulatedSurfaceBuilder<D>& builder() const { return builder_; }

  //! Splits the active edge and the triangle across it at a new vertex at
  //! the point. No geometric test is made.
  SplitPolygonEdgeInfo split_edge_at(PolygonEdge const& edge, Point<D> const& point);
  //! Splits the active triangle at a new vertex at the point. No
  //! geometric test is made.
  SplitTriangleInfo split_triangle_at(index_t triangle, Point<D> const& point);
  //! \throw UlvaneException naming the operation if the triangle is removed.
  void check_active(index_t triangle, char const* operation) const;

 private:
  TriangulatedSurface<D> const& mesh_;
  TriangulatedSurfaceBuilder<D>& builder_;
};

using TriangulatedSurfaceModifier2D = TriangulatedSurfaceModifier<2>;
using TriangulatedSurfaceModifier3D = TriangulatedSurfaceModifier<3>;

//! Whether collapsing the edge onto the point keeps the surface valid.
//! False when the triangle is removed; when the ends share a neighbour
//! other than the vertices opposite the edge; when the edge is inside but
//! both ends are on the border, or the triangle is alone (all its edges on
//! the border); and when a remaining triangle around either end would be
//! inverted or flat (exact orientation) with that end at the point.
//! Changes nothing.
template <index_t D>
bool is_collapse_edge_valid(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge,
                            Point<D> const& point);

//! The topological half of `is_collapse_edge_valid`, wherever the ends go:
//! whether the collapse keeps the surface a manifold (no lone triangle
//! flattened, no inside edge between two border vertices, link condition).
template <index_t D>
bool is_collapse_edge_link_valid(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge);

}  // namespace tarnix
