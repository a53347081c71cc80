#pragma once

#include <array>
#include <memory>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/span.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/common.h>
#include <ulvane/geometry/point.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/surface_mesh.h>
#include <ulvane/mesh/vertex_set_builder.h>

namespace tarnix {

//! The old-to-new index mappings of a clean (NO_ID: dropped).
struct SurfaceCleanMappings {
  std::vector<index_t> vertices;
  std::vector<index_t> polygons;
};

//! The editor of a `SurfaceMesh<D>`. Every edit keeps the attribute
//! storages sized to the element counts, and keeps each vertex's associated
//! corner an active corner of that vertex: when the corner stops being one,
//! another active corner of the vertex is taken (a neighbouring polygon's
//! first, else the first in polygon order), or none if there is no other.
//!
//! Invalid arguments raise `UlvaneException` with a bracketed message.
template <index_t D>
class SurfaceMeshBuilder : public VertexSetBuilder {
 public:
  //! The builder matching the mesh's type (triangulated or polygonal).
  static std::unique_ptr<SurfaceMeshBuilder> create(SurfaceMesh<D>& mesh);

  SurfaceMesh<D>& surface_mesh() const { return mesh_; }

  //! Appends a vertex: its id is the vertex count before the call. Vertex
  //! attributes get their defaults.
  index_t create_point(Point<D> const& point);
  //! Appends a vertex whose derivable vertex attributes are interpolated
  //! from the weighted existing vertices.
  index_t create_point(Point<D> const& point, WeightedElementList const& parents);
  void set_point(index_t vertex, Point<D> const& point);

  //! Sets one direction of an adjacency; NO_ID clears it. Both polygons
  //! must be active.
  void set_polygon_adjacent(PolygonEdge const& edge, index_t adjacent);
  void unset_polygon_adjacent(PolygonEdge const& edge) { set_polygon_adjacent(edge, NO_ID); }
  //! Recomputes every adjacency of the active polygons: an edge u->w pairs
  //! with the edge w->u when each is the only active edge of its direction
  //! on that vertex pair; every other edge is left on the border.
  void compute_polygon_adjacencies();

  //! Makes the corner's polygon use another vertex there. Adjacencies are
  //! not changed. An active polygon must not already use the vertex.
  void set_polygon_vertex(PolygonVertex const& corner, index_t vertex);
  //! Flips the edge between two active triangles: t = (a, b, c), holding
  //! the edge a -> b, and u = (b, a, d), holding its twin, become in place
  //! t = (a, d, c) and u = (b, c, d). The new edges d -> c and c -> d are
  //! glued to each other, a -> d and b -> c to the neighbours of the edges
  //! they replace; c -> a and d -> b keep theirs. The associated corners
  //! change as if t's corner of b and then u's corner of a were set to the
  //! new vertices by `set_polygon_vertex`.
  //! \throw UlvaneException when the edge has no twin, is not between two
  //! active triangles, or c and d are one vertex.
  void flip_edge(PolygonEdge const& edge);
  //! Every polygon of `polygons_around_vertex(old_vertex)` uses
  //! `new_vertex` instead, at the same polygon and local indices.
  void replace_vertex(index_t old_vertex, index_t new_vertex);
  //! The vertex's fan becomes the fan through the corner, which must be an
  //! active corner of that vertex.
  void associate_polygon_vertex_to_vertex(PolygonVertex const& corner, index_t vertex);

  //! Removes the polygon from every fan and adjacency; it stays in storage
  //! (inactive) until a clean. Removing a removed polygon does nothing.
  void remove_polygon(index_t polygon);
  //! Deletes the flagged polygons (one flag per polygon), keeping the order
  //! of the others; attributes follow. Returns old to new indices.
  std::vector<index_t> delete_polygons(std::vector<bool> const& to_delete);
  //! Deletes the vertices that no polygon (active or removed) uses, keeping
  //! the order of the others; attributes follow. Returns old to new indices.
  std::vector<index_t> delete_isolated_vertices();
  //! The same, but a vertex flagged in `kept` stays even when no polygon
  //! uses it (vertices past the flags' size are not kept).
  std::vector<index_t> delete_isolated_vertices(std::vector<bool> const& kept);
  //! Drops the removed polygons, then the vertices no polygon uses.
  SurfaceCleanMappings clean();

  //! Afterwards vertex k is what vertex permutation[k] was (attributes
  //! follow, polygons refer to the moved vertices).
  void permute_vertices(absl::Span<const index_t> permutation);
  //! Afterwards polygon k is what polygon permutation[k] was.
  void permute_polygons(absl::Span<const index_t> permutation);

 protected:
  explicit SurfaceMeshBuilder(SurfaceMesh<D>& mesh);

  //! Appends an active polygon with no adjacency; polygon attributes get
  //! their defaults.
  index_t create_polygon(absl::Span<const index_t> vertices);
  //! Appends a polygon whose derivable polygon attributes copy the parent's.
  index_t create_polygon(absl::Span<const index_t> vertices, index_t parent);

 private:
  //! The checks cost a comparison; the message is built out of line.
  void check_vertex(index_t vertex, char const* operation) const {
    if (vertex >= mesh_.nb_vertices()) throw_unknown_vertex(vertex, operation);
  }
  void check_polygon(index_t polygon, char const* operation) const {
    if (polygon >= mesh_.nb_polygons()) throw_unknown_polygon(polygon, operation);
  }
  void check_corner(index_t polygon, local_index_t local, char const* operation) const {
    check_polygon(polygon, operation);
    if (local >= mesh_.size_of(polygon)) throw_unknown_corner(polygon, local, operation);
  }
  [[noreturn]] void throw_unknown_vertex(index_t vertex, char const* operation) const;
  [[noreturn]] void throw_unknown_polygon(index_t polygon, char const* operation) const;
  [[noreturn]] void throw_unknown_corner(index_t polygon, local_index_t local,
                                         char const* operation) const;
  //! The distinct polygons across the polygon's edges.
  absl::InlinedVector<index_t, 4> adjacent_polygons(index_t polygon) const;
  //! The vertex lost an active corner at `lost` (a corner of a polygon
  //! that was removed or no longer uses it).
  void on_corner_lost(index_t vertex, PolygonVertex const& lost,
                      absl::Span<const index_t> neighbours);
  void on_corner_gained(index_t vertex, PolygonVertex const& corner);
  //! Associates the vertex with its first active corner in polygon order
  //! (none if it has no active corner).
  void associate_first_corner(index_t vertex);
  //! Associates each listed vertex with its first active corner in polygon
  //! order (none if it has no active corner).
  void associate_first_corners(std::vector<bool> const& vertices);

  SurfaceMesh<D>& mesh_;
};

using SurfaceMeshBuilder2D = SurfaceMeshBuilder<2>;
using SurfaceMeshBuilder3D = SurfaceMeshBuilder<3>;

}  // namespace tarnix
