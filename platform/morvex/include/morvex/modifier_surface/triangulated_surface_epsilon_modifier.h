#pragma once

#include <utility>

#include <absl/types/optional.h>

#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/position.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/triangulated_surface.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include <morvex/modifier_surface/surface_edit_records.h>
#include <morvex/modifier_surface/triangulated_surface_modifier.h>

namespace tarnix {

//! Point insertions into a 2D triangulated surface that snap onto vertices
//! and edges within the snapping tolerance (`detail::SNAPPING_RELATIVE_EPSILON`
//! relative to the local edge length), so that computed points never make
//! slivers next to the vertex or edge they were meant to hit. Every
//! orientation decision is exact, and no insertion makes an inverted or
//! flat triangle.
template <index_t D>
class TriangulatedSurfaceEpsilonModifier;

template <>
class TriangulatedSurfaceEpsilonModifier<2> : public TriangulatedSurfaceModifier<2> {
 public:
  using TriangulatedSurfaceModifier<2>::TriangulatedSurfaceModifier;

  //! Inserts the point into the triangle.
  //! - Within the tolerance of a vertex of the triangle: nothing is split,
  //!   the info names that vertex; Position vertex0 + its local index.
  //! - On an edge, or within the tolerance of its line: that edge and the
  //!   triangle across it are split; Position edge0 + the local edge index.
  //!   Of two such edges, the nearest whose split inverts no triangle.
  //! - Strictly inside: the triangle is split into three; Position inside.
  //! - Within the tolerance beyond an edge, where no split of the triangle
  //!   keeps the orientation (a sliver): the same rules in the triangle
  //!   across that edge, with its local indices.
  //! - Otherwise (outside, or no split without an inverted triangle):
  //!   nothing changes, the info's vertex is NO_ID; Position outside.
  //! \throw UlvaneException if the triangle is removed.
  std::pair<Position, SplitTriangleInfo> insert_point_in_triangle(index_t triangle,
                                                                  Point<2> const& point);

  //! Inserts the point on the edge. The edge handle may be stale (its
  //! triangle removed by an earlier edit): its two vertices, through
  //! `updated_vertex`, still name the edge.
  //! - Within the tolerance of an end of the edge: nothing is split;
  //!   Position vertex0 or vertex1 for the first or second end.
  //! - Within the tolerance of another active vertex (such as one an
  //!   earlier insertion on the same edge made): nothing is split;
  //!   Position vertex2.
  //! - Inside the diamond of the edge's triangles (the quadrilateral they
  //!   form, or the triangle on the border): the edge and its triangles are
  //!   split at the point; Position inside.
  //! - Otherwise (no such edge any more, or a split would invert a
  //!   triangle): nothing changes, the info's vertex is NO_ID; Position
  //!   outside.
  //! The tolerance is relative to the edge's length.
  std::pair<Position, SplitPolygonEdgeInfo> insert_point_on_edge(PolygonEdge const& edge,
                                                                 Point<2> const& point);

 private:
  //! The insertion into the active triangle by the rules above, or none
  //! when the point needs another triangle.
  absl::optional<std::pair<Position, SplitTriangleInfo>> try_insert_in_triangle(
      index_t triangle, Point<2> const& point);
};

using TriangulatedSurfaceEpsilonModifier2D = TriangulatedSurfaceEpsilonModifier<2>;

namespace detail {

//! The local vertex of the triangle nearest to the point among those
//! within the snapping tolerance of it (relative to the triangle's longest
//! edge), or none.
template <index_t D>
absl::optional<local_index_t> snapping_detection(TriangulatedSurface<D> const& mesh,
                                                 index_t triangle, Point<D> const& point);

}  // namespace detail
}  // namespace tarnix
