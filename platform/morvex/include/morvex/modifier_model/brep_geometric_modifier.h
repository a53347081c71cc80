#pragma once

#include <vector>

#include <absl/container/flat_hash_set.h>
#include <absl/types/span.h>

#include <ulvane/basic/common.h>
#include <ulvane/basic/uuid.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/model/brep.h>
#include <ulvane/model/surface.h>

#include <morvex/modifier_model/fan_neighbour.h>
#include <morvex/modifier_model/model_edit_records.h>

namespace tarnix {

//! Edits of the surfaces of a `BRep` that keep the model together: the
//! lines, corners and unique vertices follow every change of a surface.
//!
//! The modifier keeps no state about the meshes (each edit reads the model
//! as it is, so meshes may also be edited by other means between calls),
//! only the ids of the surfaces its edits touched, which `clean` compacts.
//! Triangles that an edit replaces are removed (inactive, out of every fan
//! and adjacency) until `clean`; new triangles are appended; only
//! `swap_edge` reuses its two triangles. The edits test nothing that the
//! simulations test: ask `is_swap_edge_valid`, `is_collapse_edge_valid`,
//! `is_split_edge_valid` or `is_move_point_valid` first. They only refuse,
//! with `UlvaneException`, an edit that cannot be made at all.
//!
//! Surface meshes must be `TriangulatedSurface<3>` (else `std::bad_cast`).
class BRepGeometricModifier {
 public:
  explicit BRepGeometricModifier(BRep& brep);

  //! Swaps the diagonal of the two triangles on the edge. With the edge
  //! P->Q of T = (P, Q, R) and its twin in T' = (Q, P, S), T becomes
  //! (R, P, S) and T' becomes (S, Q, R), each rotated so that the new
  //! diagonal lies at the old local index of the edge: the handle then
  //! designates the new edge S->R. Triangle indices and their attribute
  //! values are kept.
  //! \throw UlvaneException if the triangle is removed, the edge is on the
  //! border, or the edge R-S exists already.
  void swap_edge(Surface<3> const& surface, PolygonEdge const& edge);

  //! Collapses the edge onto the point. The remaining vertex is the end
  //! whose point equals the target, else vertex 0 of the edge; it keeps its
  //! unique vertex, and every component vertex of that unique vertex is
  //! moved to the point. The result has one entry for this surface.
  //! \throw UlvaneException if the triangle is removed, or if the end that
  //! goes is shared with another component (a line or corner vertex).
  BRepCollapsePolygonEdgeInfo collapse_edge(Surface<3> const& surface,
                                               PolygonEdge const& edge, Point<3> const& point);

  //! Splits the edge at a new vertex placed at the point, linked to one new
  //! unique vertex. An edge along a line edge also splits that line edge
  //! and the edges along it in every other surface.
  //! \throw UlvaneException if the triangle is removed.
  BRepSplitPolygonEdgeInfo split_edge(Surface<3> const& surface, PolygonEdge const& edge,
                                         Point<3> const& point);

  //! Moves every component vertex linked to the unique vertex to the point.
  //! \throw UlvaneException for a unique vertex beyond the model's.
  void move_point(index_t unique_vertex, Point<3> const& point);

  //! False for a triangle removed by an earlier edit, until `clean`.
  bool is_triangle_active(Surface<3> const& surface, index_t triangle) const;

  //! Compacts the surfaces that edits touched since the last clean: removed
  //! triangles and unused vertices go, the others keep their order, and
  //! attributes and unique-vertex links follow. Other surfaces are left
  //! untouched.
  void clean();

 private:
  BRep& brep_;
  std::vector<uuid> touched_;
  absl::flat_hash_set<uuid> touched_set_;
};

//! The simulations below change nothing. They sort what they find into
//! the two maps of `BRepSimulationResult`: a new or moved triangle facing
//! against the triangle it replaces, or against a triangle across one of
//! its edges, is a fold (first map); every other problem goes in the second
//! map. Flat triangles are found exactly (three collinear points), and the
//! side a triangle faces is decided by an exact orientation test against
//! the reference normal, so coplanar configurations are decided exactly.

//! Whether swapping the edge keeps the model valid. Problems: a removed
//! triangle or a border edge; an edge along a line; a new edge R-S that
//! exists already (link condition); a flat new triangle. Folds: a new
//! triangle facing against T, T', the other new triangle or a neighbour.
BRepSimulationResult is_swap_edge_valid(BRep const& brep, Surface<3> const& surface,
                                        PolygonEdge const& edge);

//! Whether collapsing the edge onto the point keeps the model valid.
//! Problems: a removed triangle; an end that goes although it is a corner
//! or line vertex or shared with another component; a remaining end on a
//! corner or line that would move; the link condition (the ends share a
//! neighbour other than the vertices opposite the edge, an inside edge
//! whose ends are both on the border, a lone triangle); a triangle that
//! stays and would be flat. Folds: a triangle that stays and would face
//! against itself before the collapse.
BRepSimulationResult is_collapse_edge_valid(BRep const& brep, Surface<3> const& surface,
                                            PolygonEdge const& edge, Point<3> const& point);

//! Whether splitting the edge at the point keeps the model valid, in every
//! surface the split changes. Problems: a removed triangle; a flat new
//! triangle. Folds: a new triangle facing against the triangle it divides,
//! the other new triangles or a neighbour. The point of a split along a
//! line edge need not lie on the segment: it becomes the line's new vertex.
BRepSimulationResult is_split_edge_valid(BRep const& brep, Surface<3> const& surface,
                                         PolygonEdge const& edge, Point<3> const& point);

//! Whether moving the unique vertex to the point keeps the model valid:
//! false for a unique vertex without component vertices, a corner (unless
//! the point is where it is), a line vertex leaving its line (the point
//! must lie strictly inside one of its two line edges, exactly collinear),
//! and a triangle around it, in any surface, that would be flat or face
//! against itself before the move.
//! \throw UlvaneException for a unique vertex beyond the model's.
bool is_move_point_valid(BRep const& brep, index_t unique_vertex, Point<3> const& point);

namespace detail {

//! `is_move_point_valid` for the unique vertex whose component vertices
//! are `linked` (as `component_mesh_vertices` lists them), among them
//! `vertex` of `surface`, whose fan the caller has already walked: `fan`
//! holds the vertex's corner in each triangle of the fan through its
//! associated corner, as `polygons_around_vertex` lists them, and those
//! triangles are read from it instead of walking the fan again. When
//! `neighbours` is not empty, `neighbours[i]` holds the other two vertices
//! of the triangle of `fan[i]`, already read. Decides as the exported
//! function.
bool is_move_point_valid(BRep const& brep, absl::Span<const ComponentMeshVertex> linked,
                         Surface<3> const& surface, index_t vertex,
                         absl::Span<const PolygonVertex> fan,
                         absl::Span<const FanNeighbour<3>> neighbours, Point<3> const& point);

//! The modifier's `move_point` for the unique vertex whose component
//! vertices are `linked`: moves each of them to the point.
void move_point(BRep& brep, absl::Span<const ComponentMeshVertex> linked,
                Point<3> const& point);

}  // namespace detail

}  // namespace tarnix
