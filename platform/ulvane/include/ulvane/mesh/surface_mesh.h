#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <absl/container/inlined_vector.h>
#include <absl/types/optional.h>

#include <ulvane/basic/attribute_manager.h>
#include <ulvane/basic/common.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/point.h>
#include <ulvane/geometry/vector.h>
#include <ulvane/mesh/mesh_handles.h>
#include <ulvane/mesh/vertex_set.h>

namespace tarnix {

template <index_t D>
class SurfaceMeshBuilder;

//! A surface made of polygons over points of dimension D (2 or 3).
//!
//! Polygon t lists its vertices in order; its edge e runs from local vertex
//! e to local vertex (e + 1) mod size, and each edge stores the polygon
//! across it (one direction; builders keep both directions in step).
//! Removed polygons stay in storage, counted by `nb_polygons`, until a clean
//! compacts them; they are in no fan and no adjacency. Every vertex with an
//! active corner has an associated corner, and its fan is the set of active
//! polygons reached from that corner through the edges at the vertex.
//!
//! Index arguments out of range raise `std::out_of_range` "invalid vector
//! subscript". Points keep their address while vertices are only appended.
template <index_t D>
class SurfaceMesh : public VertexSet {
  static_assert(D == 2 || D == 3, "surfaces have dimension 2 or 3");
  friend class SurfaceMeshBuilder<D>;

 public:
  static constexpr index_t dimension = D;

  //! Polygons in storage, removed but not cleaned ones included.
  index_t nb_polygons() const { return static_cast<index_t>(polygon_active_.size()); }
  local_index_t nb_polygon_vertices(index_t polygon) const {
    // The sentinel entry makes polygon_starts_ one longer than the polygons.
    if (polygon >= nb_polygons()) detail::throw_out_of_range();
    return static_cast<local_index_t>(size_of(polygon));
  }
  //! False for a polygon removed by an edit and not yet cleaned.
  bool is_polygon_active(index_t polygon) const {
    return detail::checked_at(polygon_active_, polygon) != 0;
  }

  Point<D> const& point(index_t vertex) const {
    // The per-vertex vector has the points' count and a cheaper size than
    // the deque.
    if (vertex >= vertex_corners_.size()) detail::throw_out_of_range();
    return points_[vertex];
  }

  index_t polygon_vertex(PolygonVertex const& corner) const {
    return corner_vertices_[corner_index(corner.polygon_id, corner.vertex_id)];
  }
  //! Vertex 0 is the first vertex of the edge, vertex 1 the second.
  index_t polygon_edge_vertex(PolygonEdge const& edge, local_index_t vertex) const {
    if (vertex > 1) detail::throw_out_of_range();
    return polygon_edge_vertices(edge)[vertex];
  }
  std::array<index_t, 2> polygon_edge_vertices(PolygonEdge const& edge) const {
    const index_t position = corner_index(edge.polygon_id, edge.edge_id);
    const index_t start = start_of(edge.polygon_id);
    const index_t next = edge.edge_id + 1U == size_of(edge.polygon_id) ? start : position + 1;
    return {{corner_vertices_[position], corner_vertices_[next]}};
  }

  PolygonVertex next_polygon_vertex(PolygonVertex const& corner) const {
    const index_t size = nb_polygon_vertices(corner.polygon_id);
    if (corner.vertex_id >= size) detail::throw_out_of_range();
    return {corner.polygon_id,
            static_cast<local_index_t>(corner.vertex_id + 1U == size ? 0 : corner.vertex_id + 1)};
  }
  PolygonVertex previous_polygon_vertex(PolygonVertex const& corner) const {
    const index_t size = nb_polygon_vertices(corner.polygon_id);
    if (corner.vertex_id >= size) detail::throw_out_of_range();
    return {corner.polygon_id,
            static_cast<local_index_t>(corner.vertex_id == 0 ? size - 1 : corner.vertex_id - 1)};
  }
  PolygonEdge next_polygon_edge(PolygonEdge const& edge) const {
    return PolygonEdge{next_polygon_vertex(PolygonVertex{edge})};
  }
  PolygonEdge previous_polygon_edge(PolygonEdge const& edge) const {
    return PolygonEdge{previous_polygon_vertex(PolygonVertex{edge})};
  }

  //! The polygon across the edge; empty on the border.
  absl::optional<index_t> polygon_adjacent(PolygonEdge const& edge) const {
    const index_t adjacent = edge_adjacents_[corner_index(edge.polygon_id, edge.edge_id)];
    if (adjacent == NO_ID) return absl::nullopt;
    return adjacent;
  }
  //! The twin edge: the same edge in the adjacent polygon, running the
  //! other way; empty on the border.
  absl::optional<PolygonEdge> polygon_adjacent_edge(PolygonEdge const& edge) const {
    corner_index(edge.polygon_id, edge.edge_id);  // throws for an edge out of range
    return twin_edge(edge.polygon_id, edge.edge_id);
  }
  bool is_edge_on_border(PolygonEdge const& edge) const {
    return edge_adjacents_[corner_index(edge.polygon_id, edge.edge_id)] == NO_ID;
  }
  //! The border edge that starts at the second vertex of the given border
  //! edge, found by turning around that vertex inside the fan that holds the
  //! given edge (so it is defined at non-manifold vertices too).
  //! \throw UlvaneException if the edge is not on the border.
  PolygonEdge next_on_border(PolygonEdge const& edge) const;

  //! The corner that defines the vertex's fan; empty when the vertex is in
  //! no active polygon.
  absl::optional<PolygonVertex> associated_polygon_vertex(index_t vertex) const {
    const PolygonVertex corner = detail::checked_at(vertex_corners_, vertex);
    if (corner.polygon_id == NO_ID) return absl::nullopt;
    return corner;
  }
  //! The number of active polygon corners at the vertex: the size of its
  //! fan when the vertex has one fan, the sum of their sizes otherwise.
  index_t nb_active_corners(index_t vertex) const {
    return detail::checked_at(vertex_nb_active_corners_, vertex);
  }
  //! One corner per active polygon of the fan through the associated
  //! corner. For a border fan the list starts at the polygon whose edge
  //! entering the vertex is on the border, otherwise at the associated
  //! corner, and it turns across the edge leaving the vertex.
  absl::InlinedVector<PolygonVertex, 10> polygons_around_vertex(index_t vertex) const;
  //! The active edge running from `from` to `to`, searched in their fans.
  absl::optional<PolygonEdge> polygon_edge_from_vertices(index_t from, index_t to) const;
  //! Every active edge on the two vertices, in either direction, searched in
  //! their fans: edges from vertices[0] first.
  absl::InlinedVector<PolygonEdge, 2> polygons_from_edge_vertices(
      std::array<index_t, 2> const& vertices) const;

  double edge_length(PolygonEdge const& edge) const;
  //! The midpoint of the edge.
  Point<D> edge_barycenter(PolygonEdge const& edge) const;
  //! The mean of the polygon's vertices.
  Point<D> polygon_barycenter(index_t polygon) const;

  //! The unit normal by the right-hand rule: parallel to
  //! (p1 - p0) x (p2 - p0) for a triangle (p0, p1, p2).
  //! \throw UlvaneException if the polygon is degenerate.
  template <index_t DD = D, typename = std::enable_if_t<DD == 3>>
  Vector<3> polygon_normal(index_t polygon) const;
  //! The unit normal, or empty when the cross product is not longer than
  //! 1e-30.
  template <index_t DD = D, typename = std::enable_if_t<DD == 3>>
  absl::optional<Vector<3>> new_polygon_normal(index_t polygon) const;
  //! The normalised mean of the normals of the fan's polygons (those
  //! without a normal are skipped), or empty when there is none.
  template <index_t DD = D, typename = std::enable_if_t<DD == 3>>
  absl::optional<Vector<3>> new_polygon_vertex_normal(index_t vertex) const;

  //! The polygon attributes; modifiable through a const mesh, since
  //! algorithms attach working attributes to meshes they only read.
  AttributeManager& polygon_attribute_manager() const { return *polygon_attributes_; }

  //! A copy with the same geometry, adjacencies, removal state,
  //! associated corners and attributes.
  std::unique_ptr<SurfaceMesh> clone() const { return clone_surface(); }

 protected:
  SurfaceMesh();
  //! Replaces this mesh's content by the other's (attributes cloned).
  void copy_surface(SurfaceMesh const& other);

 private:
  virtual std::unique_ptr<SurfaceMesh> clone_surface() const = 0;

  //! Position of the corner in the flat corner arrays.
  //! \throw std::out_of_range for a polygon or local index out of range.
  index_t corner_index(index_t polygon, local_index_t local) const {
    if (local >= nb_polygon_vertices(polygon)) detail::throw_out_of_range();
    return start_of(polygon) + local;
  }
  index_t polygon_start(index_t polygon) const;
  //! True when every polygon is a triangle: polygons have at least 3
  //! corners, so 3 corners per polygon on average means 3 each.
  bool only_triangles() const { return corner_vertices_.size() == 3 * polygon_active_.size(); }
  //! Where the polygon's corners start, unchecked; a mesh of triangles
  //! needs no lookup.
  index_t start_of(index_t polygon) const {
    return only_triangles() ? 3 * polygon : polygon_starts_[polygon];
  }
  //! The polygon's number of corners, unchecked.
  index_t size_of(index_t polygon) const {
    return only_triangles() ? 3 : polygon_starts_[polygon + 1] - polygon_starts_[polygon];
  }
  //! Sum of the cross products of the polygon's fan triangles.
  Vector<3> polygon_area_vector(index_t polygon) const;
  //! `polygon_adjacent_edge` for an edge known to be in range.
  absl::optional<PolygonEdge> twin_edge(index_t polygon, local_index_t edge) const {
    const index_t start = start_of(polygon);
    const index_t position = start + edge;
    const index_t adjacent = edge_adjacents_[position];
    if (adjacent == NO_ID) return absl::nullopt;
    const index_t from = corner_vertices_[position];
    const index_t to = corner_vertices_[edge + 1U == size_of(polygon) ? start : position + 1];
    bool mutual = false;
    const local_index_t twin = only_triangles()
                                   ? find_twin<true>(polygon, position, from, to, adjacent, mutual)
                                   : find_twin<false>(polygon, position, from, to, adjacent, mutual);
    if (twin == NO_LID) return absl::nullopt;
    return PolygonEdge{adjacent, twin};
  }
  //! The local index, in `adjacent`, of the twin of the edge from `from` to
  //! `to` at corner `position` of `polygon`, whose adjacent polygon it is;
  //! NO_LID when no edge of `adjacent` runs the other way. `mutual` tells
  //! whether the twin points back to `polygon`. The stored twin is taken
  //! when it fits, otherwise the adjacent polygon is searched.
  template <bool Triangles>
  local_index_t find_twin(index_t polygon, index_t position, index_t from, index_t to,
                          index_t adjacent, bool& mutual) const {
    const index_t adjacent_start = Triangles ? 3 * adjacent : polygon_starts_[adjacent];
    const index_t adjacent_size = Triangles ? 3 : polygon_starts_[adjacent + 1] - adjacent_start;
    // An active polygon holds each vertex once, so an edge of it that runs
    // the other way is the only one: the search would find it too.
    const local_index_t stored = edge_twins_[position];
    const index_t corner = adjacent_start + stored;
    if (stored < adjacent_size && polygon_active_[adjacent] &&
        corner_vertices_[corner] == to &&
        corner_vertices_[stored + 1U == adjacent_size ? adjacent_start : corner + 1] == from) {
      mutual = edge_adjacents_[corner] == polygon;
      return stored;
    }
    return search_twin<Triangles>(polygon, from, to, adjacent_start, adjacent_size, mutual);
  }
  //! The search behind `find_twin`, in the adjacent polygon whose corners
  //! start at `adjacent_start`: among several edges that run the other way
  //! (a removed polygon folded onto itself) the first one that points back
  //! to `polygon`, else the first one.
  template <bool Triangles>
  local_index_t search_twin(index_t polygon, index_t from, index_t to, index_t adjacent_start,
                            index_t adjacent_size, bool& mutual) const {
    if (Triangles) {
      // The edge's polygon is active, so `from` and `to` differ, and a
      // triangle has at most one edge from `to` to `from`: found without
      // branching on where it is.
      index_t const* vertices = corner_vertices_.data() + adjacent_start;
      const bool at_0 = (vertices[0] == to) & (vertices[1] == from);
      const bool at_1 = (vertices[1] == to) & (vertices[2] == from);
      const bool at_2 = (vertices[2] == to) & (vertices[0] == from);
      const local_index_t twin = at_0 ? 0 : at_1 ? 1 : at_2 ? 2 : NO_LID;
      mutual = twin != NO_LID && edge_adjacents_[adjacent_start + twin] == polygon;
      return twin;
    }
    local_index_t twin = NO_LID;
    mutual = false;
    for (index_t e = 0; e < adjacent_size; ++e) {
      const index_t corner = adjacent_start + e;
      if (corner_vertices_[corner] != to ||
          corner_vertices_[e + 1 == adjacent_size ? adjacent_start : corner + 1] != from) {
        continue;
      }
      if (edge_adjacents_[corner] == polygon) {
        mutual = true;
        return static_cast<local_index_t>(e);
      }
      if (twin == NO_LID) twin = static_cast<local_index_t>(e);
    }
    return twin;
  }
  //! The corner of `vertex` in the polygon across the edge of `corner`
  //! leaving (forward) or entering (backward) the vertex, if that polygon
  //! is active and continues the fan.
  absl::optional<PolygonVertex> turn_around_vertex(PolygonVertex const& corner,
                                                   bool forward) const;
  //! The step of `turn_around_vertex` for a corner known to be in range:
  //! the default corner (polygon NO_ID) when the fan stops. `mutual` tells
  //! whether the crossed edge and its twin point at each other's polygons,
  //! so that the opposite step leads back. `Triangles` states that every
  //! polygon has three corners, so no lookup is needed.
  template <bool Triangles>
  PolygonVertex step_around_vertex(PolygonVertex const& corner, bool forward,
                                   bool& mutual) const;
  //! The fan through the associated corner, as `polygons_around_vertex`
  //! gives it, at most `bound` corners (at least one), written from `fan`
  //! on; returns the number of corners.
  template <bool Triangles>
  index_t collect_fan(PolygonVertex associated, index_t bound, PolygonVertex* fan) const;

  std::deque<Point<D>> points_;
  //! Per vertex: the associated corner, and its number of active corners.
  std::vector<PolygonVertex> vertex_corners_;
  std::vector<index_t> vertex_nb_active_corners_;
  //! Per polygon: where its corners start in the flat arrays (one more
  //! entry than polygons) and whether it is active.
  std::vector<index_t> polygon_starts_;
  std::vector<std::uint8_t> polygon_active_;
  //! Per corner: its vertex, and the polygon across the edge leaving it.
  std::vector<index_t> corner_vertices_;
  std::vector<index_t> edge_adjacents_;
  //! Per corner: the local index, in the adjacent polygon, of the twin of
  //! the edge leaving it, as last stored. Edits do not always keep it (a
  //! vertex edit moves edges, an edge glued one way may store the wrong
  //! twin), so the queries check it before use (see `find_twin`).
  std::vector<local_index_t> edge_twins_;
  std::unique_ptr<AttributeManager> polygon_attributes_;
};

using SurfaceMesh2D = SurfaceMesh<2>;
using SurfaceMesh3D = SurfaceMesh<3>;

template <index_t D>
template <index_t DD, typename>
Vector<3> SurfaceMesh<D>::polygon_normal(index_t polygon) const {
  const auto normal = new_polygon_normal(polygon);
  if (!normal) {
    throw UlvaneException("[SurfaceMesh::polygon_normal] Degenerate polygon ",
                          std::to_string(polygon));
  }
  return *normal;
}

template <index_t D>
template <index_t DD, typename>
absl::optional<Vector<3>> SurfaceMesh<D>::new_polygon_normal(index_t polygon) const {
  const auto area = polygon_area_vector(polygon);
  const double length = area.length();
  if (!detail::is_divisor_valid(length)) return absl::nullopt;
  return area / length;
}

template <index_t D>
template <index_t DD, typename>
absl::optional<Vector<3>> SurfaceMesh<D>::new_polygon_vertex_normal(index_t vertex) const {
  Vector<3> sum;
  index_t count = 0;
  for (auto const& corner : polygons_around_vertex(vertex)) {
    if (const auto normal = new_polygon_normal(corner.polygon_id)) {
      sum += *normal;
      ++count;
    }
  }
  if (count == 0) return absl::nullopt;
  const double length = sum.length();
  if (!detail::is_divisor_valid(length)) return absl::nullopt;
  return sum / length;
}

}  // namespace tarnix
