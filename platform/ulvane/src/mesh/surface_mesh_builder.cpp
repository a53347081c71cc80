#include <ulvane/mesh/surface_mesh_builder.h>

#include <algorithm>
#include <deque>
#include <tuple>
#include <utility>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/mesh/polygonal_surface_builder.h>
#include <ulvane/mesh/triangulated_surface_builder.h>

#include "element_edits.h"

namespace tarnix {
namespace {

//! Polygons have 3 to 254 corners; 255 is the "no local index" value.
constexpr std::size_t MAX_POLYGON_SIZE = NO_LID - 1;

}  // namespace

template <index_t D>
SurfaceMeshBuilder<D>::SurfaceMeshBuilder(SurfaceMesh<D>& mesh)
    : VertexSetBuilder(mesh), mesh_(mesh) {}

template <index_t D>
std::unique_ptr<SurfaceMeshBuilder<D>> SurfaceMeshBuilder<D>::create(SurfaceMesh<D>& mesh) {
  if (auto* triangulated = dynamic_cast<TriangulatedSurface<D>*>(&mesh)) {
    return TriangulatedSurfaceBuilder<D>::create(*triangulated);
  }
  if (auto* polygonal = dynamic_cast<PolygonalSurface<D>*>(&mesh)) {
    return PolygonalSurfaceBuilder<D>::create(*polygonal);
  }
  throw UlvaneException("[SurfaceMeshBuilder::create] No builder for a mesh of type ",
                        mesh.type_name());
}

template <index_t D>
void SurfaceMeshBuilder<D>::throw_unknown_vertex(index_t vertex, char const* operation) const {
  throw UlvaneException(operation, absl::StrCat(" Unknown vertex ", vertex, " (",
                                                mesh_.nb_vertices(), " vertices)"));
}

template <index_t D>
void SurfaceMeshBuilder<D>::throw_unknown_polygon(index_t polygon, char const* operation) const {
  throw UlvaneException(operation, absl::StrCat(" Unknown polygon ", polygon, " (",
                                                mesh_.nb_polygons(), " polygons)"));
}

template <index_t D>
void SurfaceMeshBuilder<D>::throw_unknown_corner(index_t polygon, local_index_t local,
                                                 char const* operation) const {
  throw UlvaneException(operation, absl::StrCat(" Polygon ", polygon, " has no local index ",
                                                static_cast<unsigned>(local)));
}

template <index_t D>
index_t SurfaceMeshBuilder<D>::create_point(Point<D> const& point) {
  const index_t vertex = mesh_.nb_vertices();
  mesh_.points_.push_back(point);
  mesh_.vertex_corners_.emplace_back();
  mesh_.vertex_nb_active_corners_.push_back(0);
  mesh_.vertex_attribute_manager().resize(vertex + 1);
  return vertex;
}

template <index_t D>
index_t SurfaceMeshBuilder<D>::create_point(Point<D> const& point,
                                            WeightedElementList const& parents) {
  for (const index_t parent : parents.indices) {
    check_vertex(parent, "[SurfaceMeshBuilder::create_point]");
  }
  if (parents.indices.size() != parents.weights.size()) {
    throw UlvaneException("[SurfaceMeshBuilder::create_point] As many weights as parents needed");
  }
  const index_t vertex = create_point(point);
  mesh_.vertex_attribute_manager().interpolate_attribute_value(parents, vertex);
  return vertex;
}

template <index_t D>
void SurfaceMeshBuilder<D>::set_point(index_t vertex, Point<D> const& point) {
  check_vertex(vertex, "[SurfaceMeshBuilder::set_point]");
  mesh_.points_[vertex] = point;
}

template <index_t D>
index_t SurfaceMeshBuilder<D>::create_polygon(absl::Span<const index_t> vertices) {
  constexpr char const* operation = "[SurfaceMeshBuilder::create_polygon]";
  if (vertices.size() < 3 || vertices.size() > MAX_POLYGON_SIZE) {
    throw UlvaneException(operation, absl::StrCat(" A polygon has 3 to ", MAX_POLYGON_SIZE,
                                                  " vertices, not ", vertices.size()));
  }
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    check_vertex(vertices[i], operation);
    for (std::size_t j = 0; j < i; ++j) {
      if (vertices[j] == vertices[i]) {
        throw UlvaneException(operation, absl::StrCat(" Vertex ", vertices[i], " repeated"));
      }
    }
  }
  const index_t polygon = mesh_.nb_polygons();
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    mesh_.corner_vertices_.push_back(vertices[i]);
    mesh_.edge_adjacents_.push_back(NO_ID);
    mesh_.edge_twins_.push_back(0);
  }
  mesh_.polygon_starts_.push_back(static_cast<index_t>(mesh_.corner_vertices_.size()));
  mesh_.polygon_active_.push_back(1);
  for (std::size_t i = 0; i < vertices.size(); ++i) {
    on_corner_gained(vertices[i], {polygon, static_cast<local_index_t>(i)});
  }
  mesh_.polygon_attribute_manager().resize(polygon + 1);
  return polygon;
}

template <index_t D>
index_t SurfaceMeshBuilder<D>::create_polygon(absl::Span<const index_t> vertices,
                                              index_t parent) {
  check_polygon(parent, "[SurfaceMeshBuilder::create_polygon]");
  const index_t polygon = create_polygon(vertices);
  mesh_.polygon_attribute_manager().copy_attribute_value(parent, polygon);
  return polygon;
}

template <index_t D>
void SurfaceMeshBuilder<D>::set_polygon_adjacent(PolygonEdge const& edge, index_t adjacent) {
  constexpr char const* operation = "[SurfaceMeshBuilder::set_polygon_adjacent]";
  check_corner(edge.polygon_id, edge.edge_id, operation);
  if (adjacent != NO_ID) {
    check_polygon(adjacent, operation);
    if (!mesh_.polygon_active_[edge.polygon_id] || !mesh_.polygon_active_[adjacent]) {
      throw UlvaneException(operation, " Removed polygons have no adjacency");
    }
  }
  const index_t start = mesh_.start_of(edge.polygon_id);
  const index_t position = start + edge.edge_id;
  mesh_.edge_adjacents_[position] = adjacent;
  if (adjacent == NO_ID) return;
  // Store the twin for the queries. The twin usually gets this polygon as
  // its adjacent next (edges are glued both ways), so this edge is stored
  // as its twin in turn.
  const index_t from = mesh_.corner_vertices_[position];
  const index_t to =
      mesh_.corner_vertices_[edge.edge_id + 1U == mesh_.size_of(edge.polygon_id) ? start
                                                                                 : position + 1];
  const index_t adjacent_start = mesh_.start_of(adjacent);
  bool mutual = false;
  const local_index_t twin =
      mesh_.only_triangles()
          ? mesh_.template search_twin<true>(edge.polygon_id, from, to, adjacent_start, 3, mutual)
          : mesh_.template search_twin<false>(edge.polygon_id, from, to, adjacent_start,
                                              mesh_.size_of(adjacent), mutual);
  if (twin == NO_LID) return;
  mesh_.edge_twins_[position] = twin;
  mesh_.edge_twins_[adjacent_start + twin] = edge.edge_id;
}

template <index_t D>
void SurfaceMeshBuilder<D>::compute_polygon_adjacencies() {
  // Every active edge filed under the smaller of its two vertices (a
  // counting sort), each vertex's few edges then sorted by the other
  // vertex: the edges on one pair lie side by side, and a pair is glued
  // only when it holds exactly one edge of each direction.
  struct KeyedEdge {
    index_t high;
    bool from_low;
    index_t polygon;
    index_t corner;
  };
  std::fill(mesh_.edge_adjacents_.begin(), mesh_.edge_adjacents_.end(), NO_ID);
  const auto for_each_edge = [this](auto&& visit) {
    for (index_t polygon = 0; polygon < mesh_.nb_polygons(); ++polygon) {
      if (!mesh_.polygon_active_[polygon]) continue;
      const index_t start = mesh_.polygon_starts_[polygon];
      const index_t end = mesh_.polygon_starts_[polygon + 1];
      for (index_t corner = start; corner < end; ++corner) {
        const index_t from = mesh_.corner_vertices_[corner];
        const index_t to = mesh_.corner_vertices_[corner + 1 < end ? corner + 1 : start];
        visit(from, to, polygon, corner);
      }
    }
  };
  const index_t nb_vertices = mesh_.nb_vertices();
  std::vector<index_t> first_edge(std::size_t{nb_vertices} + 1, 0);
  for_each_edge([&first_edge](index_t from, index_t to, index_t, index_t) {
    ++first_edge[std::min(from, to) + 1];
  });
  for (index_t v = 0; v < nb_vertices; ++v) first_edge[v + 1] += first_edge[v];
  std::vector<KeyedEdge> edges(first_edge[nb_vertices]);
  std::vector<index_t> next(first_edge.begin(), first_edge.end() - 1);
  for_each_edge([&edges, &next](index_t from, index_t to, index_t polygon, index_t corner) {
    edges[next[std::min(from, to)]++] = {std::max(from, to), from < to, polygon, corner};
  });
  for (index_t v = 0; v < nb_vertices; ++v) {
    const auto begin = edges.begin() + first_edge[v];
    const auto end = edges.begin() + first_edge[v + 1];
    std::sort(begin, end, [](KeyedEdge const& a, KeyedEdge const& b) { return a.high < b.high; });
    for (auto first = begin; first != end;) {
      auto last = first + 1;
      while (last != end && last->high == first->high) ++last;
      if (last - first == 2 && first->from_low != (first + 1)->from_low) {
        for (std::size_t side = 0; side < 2; ++side) {
          KeyedEdge const& edge = first[side];
          KeyedEdge const& twin = first[1 - side];
          mesh_.edge_adjacents_[edge.corner] = twin.polygon;
          mesh_.edge_twins_[edge.corner] =
              static_cast<local_index_t>(twin.corner - mesh_.polygon_starts_[twin.polygon]);
        }
      }
      first = last;
    }
  }
}

template <index_t D>
absl::InlinedVector<index_t, 4> SurfaceMeshBuilder<D>::adjacent_polygons(index_t polygon) const {
  absl::InlinedVector<index_t, 4> neighbours;
  const index_t start = mesh_.polygon_starts_[polygon];
  const index_t end = mesh_.polygon_starts_[polygon + 1];
  for (index_t corner = start; corner < end; ++corner) {
    const index_t adjacent = mesh_.edge_adjacents_[corner];
    if (adjacent != NO_ID &&
        std::find(neighbours.begin(), neighbours.end(), adjacent) == neighbours.end()) {
      neighbours.push_back(adjacent);
    }
  }
  return neighbours;
}

template <index_t D>
void SurfaceMeshBuilder<D>::on_corner_gained(index_t vertex, PolygonVertex const& corner) {
  ++mesh_.vertex_nb_active_corners_[vertex];
  if (mesh_.vertex_corners_[vertex].polygon_id == NO_ID) mesh_.vertex_corners_[vertex] = corner;
}

template <index_t D>
void SurfaceMeshBuilder<D>::on_corner_lost(index_t vertex, PolygonVertex const& lost,
                                           absl::Span<const index_t> neighbours) {
  --mesh_.vertex_nb_active_corners_[vertex];
  if (mesh_.vertex_corners_[vertex] != lost) return;
  mesh_.vertex_corners_[vertex] = {};
  if (mesh_.vertex_nb_active_corners_[vertex] == 0) return;
  // The polygons around the lost corner most likely continue its fan.
  for (const index_t neighbour : neighbours) {
    if (!mesh_.polygon_active_[neighbour]) continue;
    const index_t start = mesh_.polygon_starts_[neighbour];
    const index_t end = mesh_.polygon_starts_[neighbour + 1];
    for (index_t corner = start; corner < end; ++corner) {
      if (mesh_.corner_vertices_[corner] == vertex) {
        mesh_.vertex_corners_[vertex] = {neighbour, static_cast<local_index_t>(corner - start)};
        return;
      }
    }
  }
  associate_first_corner(vertex);
}

template <index_t D>
void SurfaceMeshBuilder<D>::associate_first_corner(index_t vertex) {
  mesh_.vertex_corners_[vertex] = {};
  if (mesh_.vertex_nb_active_corners_[vertex] == 0) return;
  if (mesh_.only_triangles()) {
    // Corner k is corner k % 3 of triangle k / 3: the first active corner
    // in polygon order is the first in the flat list, found by a plain scan.
    auto const& corners = mesh_.corner_vertices_;
    for (auto found = std::find(corners.begin(), corners.end(), vertex); found != corners.end();
         found = std::find(found + 1, corners.end(), vertex)) {
      const auto k = static_cast<index_t>(found - corners.begin());
      if (!mesh_.polygon_active_[k / 3]) continue;
      mesh_.vertex_corners_[vertex] = {k / 3, static_cast<local_index_t>(k % 3)};
      return;
    }
    return;
  }
  for (index_t polygon = 0; polygon < mesh_.nb_polygons(); ++polygon) {
    if (!mesh_.polygon_active_[polygon]) continue;
    const index_t start = mesh_.polygon_starts_[polygon];
    const index_t end = mesh_.polygon_starts_[polygon + 1];
    for (index_t corner = start; corner < end; ++corner) {
      if (mesh_.corner_vertices_[corner] == vertex) {
        mesh_.vertex_corners_[vertex] = {polygon, static_cast<local_index_t>(corner - start)};
        return;
      }
    }
  }
}

template <index_t D>
void SurfaceMeshBuilder<D>::associate_first_corners(std::vector<bool> const& vertices) {
  index_t remaining = 0;
  for (index_t vertex = 0; vertex < vertices.size(); ++vertex) {
    if (!vertices[vertex]) continue;
    mesh_.vertex_corners_[vertex] = {};
    if (mesh_.vertex_nb_active_corners_[vertex] > 0) ++remaining;
  }
  for (index_t polygon = 0; polygon < mesh_.nb_polygons() && remaining > 0; ++polygon) {
    if (!mesh_.polygon_active_[polygon]) continue;
    const index_t start = mesh_.polygon_starts_[polygon];
    const index_t end = mesh_.polygon_starts_[polygon + 1];
    for (index_t corner = start; corner < end; ++corner) {
      const index_t vertex = mesh_.corner_vertices_[corner];
      if (vertices[vertex] && mesh_.vertex_corners_[vertex].polygon_id == NO_ID) {
        mesh_.vertex_corners_[vertex] = {polygon, static_cast<local_index_t>(corner - start)};
        --remaining;
      }
    }
  }
}

template <index_t D>
void SurfaceMeshBuilder<D>::set_polygon_vertex(PolygonVertex const& corner, index_t vertex) {
  constexpr char const* operation = "[SurfaceMeshBuilder::set_polygon_vertex]";
  check_corner(corner.polygon_id, corner.vertex_id, operation);
  check_vertex(vertex, operation);
  const index_t position = mesh_.corner_index(corner.polygon_id, corner.vertex_id);
  const index_t old_vertex = mesh_.corner_vertices_[position];
  if (old_vertex == vertex) return;
  const bool active = mesh_.polygon_active_[corner.polygon_id] != 0;
  if (active) {
    const auto begin = mesh_.corner_vertices_.begin() + mesh_.polygon_starts_[corner.polygon_id];
    const auto end = mesh_.corner_vertices_.begin() + mesh_.polygon_starts_[corner.polygon_id + 1];
    if (std::find(begin, end, vertex) != end) {
      throw UlvaneException(operation, absl::StrCat(" Polygon ", corner.polygon_id,
                                                    " already uses vertex ", vertex));
    }
  }
  mesh_.corner_vertices_[position] = vertex;
  if (!active) return;
  on_corner_gained(vertex, corner);
  on_corner_lost(old_vertex, corner, adjacent_polygons(corner.polygon_id));
}

template <index_t D>
void SurfaceMeshBuilder<D>::flip_edge(PolygonEdge const& edge) {
  constexpr char const* operation = "[SurfaceMeshBuilder::flip_edge]";
  check_corner(edge.polygon_id, edge.edge_id, operation);
  const index_t t = edge.polygon_id;
  const auto twin = mesh_.twin_edge(t, edge.edge_id);
  if (!twin) {
    throw UlvaneException(operation, absl::StrCat(" The edge ", edge.edge_id, " of polygon ", t,
                                                  " has no twin"));
  }
  const index_t u = twin->polygon_id;
  if (!mesh_.polygon_active_[t] || !mesh_.polygon_active_[u] || mesh_.size_of(t) != 3 ||
      mesh_.size_of(u) != 3) {
    throw UlvaneException(operation, absl::StrCat(" Polygons ", t, " and ", u,
                                                  " are not two active triangles"));
  }
  const auto next = [](local_index_t k) { return static_cast<local_index_t>(k == 2 ? 0 : k + 1); };
  const local_index_t i = edge.edge_id;
  const local_index_t j = twin->edge_id;
  const index_t t_start = mesh_.start_of(t);
  const index_t u_start = mesh_.start_of(u);
  const index_t a = mesh_.corner_vertices_[t_start + i];
  const index_t b = mesh_.corner_vertices_[t_start + next(i)];
  const index_t c = mesh_.corner_vertices_[t_start + next(next(i))];
  const index_t d = mesh_.corner_vertices_[u_start + next(next(j))];
  if (c == d) {
    throw UlvaneException(operation, absl::StrCat(" Polygon ", t, " already uses vertex ", d));
  }
  // The edges b -> c of t and a -> d of u move to u and t, with their
  // neighbours.
  const PolygonEdge t_side{t, next(i)};
  const PolygonEdge u_side{u, next(j)};
  const auto beyond_t_side = mesh_.twin_edge(t, t_side.edge_id);
  const auto beyond_u_side = mesh_.twin_edge(u, u_side.edge_id);
  for (auto const& beyond : {beyond_t_side, beyond_u_side}) {
    if (beyond && !mesh_.polygon_active_[beyond->polygon_id]) {
      throw UlvaneException(operation, " Removed polygons have no adjacency");
    }
  }
  // Both neighbour lists as the two vertex edits would see them: a vertex
  // edit leaves the adjacencies alone.
  const auto t_neighbours = adjacent_polygons(t);
  const auto u_neighbours = adjacent_polygons(u);
  mesh_.corner_vertices_[t_start + t_side.edge_id] = d;
  on_corner_gained(d, PolygonVertex{t_side});
  on_corner_lost(b, PolygonVertex{t_side}, t_neighbours);
  mesh_.corner_vertices_[u_start + u_side.edge_id] = c;
  on_corner_gained(c, PolygonVertex{u_side});
  on_corner_lost(a, PolygonVertex{u_side}, u_neighbours);
  // Glues the edge to the one given, both ways, or leaves it on the border.
  const auto glue = [this](PolygonEdge const& from, absl::optional<PolygonEdge> const& to) {
    const index_t position = mesh_.start_of(from.polygon_id) + from.edge_id;
    if (!to) {
      mesh_.edge_adjacents_[position] = NO_ID;
      return;
    }
    const index_t other = mesh_.start_of(to->polygon_id) + to->edge_id;
    mesh_.edge_adjacents_[position] = to->polygon_id;
    mesh_.edge_twins_[position] = to->edge_id;
    mesh_.edge_adjacents_[other] = from.polygon_id;
    mesh_.edge_twins_[other] = from.edge_id;
  };
  glue({t, i}, beyond_u_side);
  glue({u, j}, beyond_t_side);
  glue(t_side, u_side);
}

template <index_t D>
void SurfaceMeshBuilder<D>::replace_vertex(index_t old_vertex, index_t new_vertex) {
  constexpr char const* operation = "[SurfaceMeshBuilder::replace_vertex]";
  check_vertex(old_vertex, operation);
  check_vertex(new_vertex, operation);
  if (old_vertex == new_vertex) return;
  const auto fan = mesh_.polygons_around_vertex(old_vertex);
  if (fan.empty()) return;
  for (auto const& corner : fan) {
    const auto begin = mesh_.corner_vertices_.begin() + mesh_.polygon_starts_[corner.polygon_id];
    const auto end = mesh_.corner_vertices_.begin() + mesh_.polygon_starts_[corner.polygon_id + 1];
    if (std::find(begin, end, new_vertex) != end) {
      throw UlvaneException(operation, absl::StrCat(" Polygon ", corner.polygon_id,
                                                    " already uses vertex ", new_vertex));
    }
  }
  const PolygonVertex associated = mesh_.vertex_corners_[old_vertex];
  for (auto const& corner : fan) {
    mesh_.corner_vertices_[mesh_.corner_index(corner.polygon_id, corner.vertex_id)] = new_vertex;
  }
  const auto moved = static_cast<index_t>(fan.size());
  mesh_.vertex_nb_active_corners_[new_vertex] += moved;
  mesh_.vertex_nb_active_corners_[old_vertex] -= moved;
  // The new vertex keeps its own fan if it has one; otherwise it takes the
  // moved fan with the same associated corner, hence the same order.
  if (mesh_.vertex_corners_[new_vertex].polygon_id == NO_ID) {
    mesh_.vertex_corners_[new_vertex] = associated;
  }
  // Another fan of a non-manifold vertex, if any, is found by a scan.
  associate_first_corner(old_vertex);
}

template <index_t D>
void SurfaceMeshBuilder<D>::associate_polygon_vertex_to_vertex(PolygonVertex const& corner,
                                                               index_t vertex) {
  constexpr char const* operation = "[SurfaceMeshBuilder::associate_polygon_vertex_to_vertex]";
  check_corner(corner.polygon_id, corner.vertex_id, operation);
  check_vertex(vertex, operation);
  if (!mesh_.is_polygon_active(corner.polygon_id) || mesh_.polygon_vertex(corner) != vertex) {
    throw UlvaneException(operation, absl::StrCat(" Polygon ", corner.polygon_id,
                                                  " has no active corner of vertex ", vertex,
                                                  " at local index ",
                                                  static_cast<unsigned>(corner.vertex_id)));
  }
  mesh_.vertex_corners_[vertex] = corner;
}

template <index_t D>
void SurfaceMeshBuilder<D>::remove_polygon(index_t polygon) {
  check_polygon(polygon, "[SurfaceMeshBuilder::remove_polygon]");
  if (!mesh_.polygon_active_[polygon]) return;
  mesh_.polygon_active_[polygon] = 0;
  const auto neighbours = adjacent_polygons(polygon);
  for (const index_t neighbour : neighbours) {
    const index_t start = mesh_.polygon_starts_[neighbour];
    const index_t end = mesh_.polygon_starts_[neighbour + 1];
    for (index_t corner = start; corner < end; ++corner) {
      if (mesh_.edge_adjacents_[corner] == polygon) mesh_.edge_adjacents_[corner] = NO_ID;
    }
  }
  const index_t start = mesh_.polygon_starts_[polygon];
  const index_t end = mesh_.polygon_starts_[polygon + 1];
  for (index_t corner = start; corner < end; ++corner) {
    mesh_.edge_adjacents_[corner] = NO_ID;
    on_corner_lost(mesh_.corner_vertices_[corner],
                   {polygon, static_cast<local_index_t>(corner - start)}, neighbours);
  }
}

template <index_t D>
std::vector<index_t> SurfaceMeshBuilder<D>::delete_polygons(std::vector<bool> const& to_delete) {
  if (to_delete.size() != mesh_.nb_polygons()) {
    throw UlvaneException("[SurfaceMeshBuilder::delete_polygons]",
                          absl::StrCat(" Expected ", mesh_.nb_polygons(), " flags, got ",
                                       to_delete.size()));
  }
  const auto old2new = detail::old_to_new(to_delete, mesh_.nb_polygons());
  if (std::find(to_delete.begin(), to_delete.end(), true) == to_delete.end()) return old2new;

  std::vector<bool> to_associate(mesh_.nb_vertices(), false);
  std::vector<index_t> starts{0};
  std::vector<index_t> corner_vertices;
  std::vector<index_t> edge_adjacents;
  std::vector<local_index_t> edge_twins;
  corner_vertices.reserve(mesh_.corner_vertices_.size());
  edge_adjacents.reserve(mesh_.edge_adjacents_.size());
  edge_twins.reserve(mesh_.edge_twins_.size());
  for (index_t polygon = 0; polygon < mesh_.nb_polygons(); ++polygon) {
    const index_t start = mesh_.polygon_starts_[polygon];
    const index_t end = mesh_.polygon_starts_[polygon + 1];
    if (to_delete[polygon]) {
      if (!mesh_.polygon_active_[polygon]) continue;
      for (index_t corner = start; corner < end; ++corner) {
        --mesh_.vertex_nb_active_corners_[mesh_.corner_vertices_[corner]];
      }
      continue;
    }
    for (index_t corner = start; corner < end; ++corner) {
      corner_vertices.push_back(mesh_.corner_vertices_[corner]);
      const index_t adjacent = mesh_.edge_adjacents_[corner];
      edge_adjacents.push_back(adjacent == NO_ID ? NO_ID : old2new[adjacent]);
      edge_twins.push_back(mesh_.edge_twins_[corner]);
    }
    starts.push_back(static_cast<index_t>(corner_vertices.size()));
  }
  mesh_.polygon_starts_ = std::move(starts);
  mesh_.corner_vertices_ = std::move(corner_vertices);
  mesh_.edge_adjacents_ = std::move(edge_adjacents);
  mesh_.edge_twins_ = std::move(edge_twins);
  detail::compact(mesh_.polygon_active_, to_delete);

  for (index_t vertex = 0; vertex < mesh_.nb_vertices(); ++vertex) {
    PolygonVertex& corner = mesh_.vertex_corners_[vertex];
    if (corner.polygon_id == NO_ID) continue;
    corner.polygon_id = old2new[corner.polygon_id];
    if (corner.polygon_id == NO_ID) to_associate[vertex] = true;
  }
  associate_first_corners(to_associate);
  mesh_.polygon_attribute_manager().delete_elements(to_delete);
  return old2new;
}

template <index_t D>
std::vector<index_t> SurfaceMeshBuilder<D>::delete_isolated_vertices() {
  return delete_isolated_vertices(std::vector<bool>{});
}

template <index_t D>
std::vector<index_t> SurfaceMeshBuilder<D>::delete_isolated_vertices(
    std::vector<bool> const& kept) {
  std::vector<bool> to_delete(mesh_.nb_vertices(), true);
  for (index_t vertex = 0; vertex < kept.size() && vertex < mesh_.nb_vertices(); ++vertex) {
    if (kept[vertex]) to_delete[vertex] = false;
  }
  for (const index_t vertex : mesh_.corner_vertices_) to_delete[vertex] = false;
  const auto old2new = detail::old_to_new(to_delete, mesh_.nb_vertices());
  if (std::find(to_delete.begin(), to_delete.end(), true) == to_delete.end()) return old2new;
  detail::compact(mesh_.points_, to_delete);
  detail::compact(mesh_.vertex_corners_, to_delete);
  detail::compact(mesh_.vertex_nb_active_corners_, to_delete);
  for (index_t& vertex : mesh_.corner_vertices_) vertex = old2new[vertex];
  mesh_.vertex_attribute_manager().delete_elements(to_delete);
  return old2new;
}

template <index_t D>
SurfaceCleanMappings SurfaceMeshBuilder<D>::clean() {
  std::vector<bool> removed(mesh_.nb_polygons());
  for (index_t polygon = 0; polygon < mesh_.nb_polygons(); ++polygon) {
    removed[polygon] = !mesh_.polygon_active_[polygon];
  }
  SurfaceCleanMappings mappings;
  mappings.polygons = delete_polygons(removed);
  mappings.vertices = delete_isolated_vertices();
  return mappings;
}

template <index_t D>
void SurfaceMeshBuilder<D>::permute_vertices(absl::Span<const index_t> permutation) {
  const auto old2new = detail::inverse_permutation(permutation, mesh_.nb_vertices(),
                                           "[SurfaceMeshBuilder::permute_vertices]");
  detail::apply_permutation(mesh_.points_, permutation);
  detail::apply_permutation(mesh_.vertex_corners_, permutation);
  detail::apply_permutation(mesh_.vertex_nb_active_corners_, permutation);
  for (index_t& vertex : mesh_.corner_vertices_) vertex = old2new[vertex];
  mesh_.vertex_attribute_manager().permute_elements(permutation);
}

template <index_t D>
void SurfaceMeshBuilder<D>::permute_polygons(absl::Span<const index_t> permutation) {
  const auto old2new = detail::inverse_permutation(permutation, mesh_.nb_polygons(),
                                           "[SurfaceMeshBuilder::permute_polygons]");
  std::vector<index_t> starts{0};
  std::vector<index_t> corner_vertices;
  std::vector<index_t> edge_adjacents;
  std::vector<local_index_t> edge_twins;
  std::vector<std::uint8_t> active;
  corner_vertices.reserve(mesh_.corner_vertices_.size());
  edge_adjacents.reserve(mesh_.edge_adjacents_.size());
  edge_twins.reserve(mesh_.edge_twins_.size());
  for (const index_t old : permutation) {
    for (index_t corner = mesh_.polygon_starts_[old]; corner < mesh_.polygon_starts_[old + 1];
         ++corner) {
      corner_vertices.push_back(mesh_.corner_vertices_[corner]);
      const index_t adjacent = mesh_.edge_adjacents_[corner];
      edge_adjacents.push_back(adjacent == NO_ID ? NO_ID : old2new[adjacent]);
      edge_twins.push_back(mesh_.edge_twins_[corner]);
    }
    starts.push_back(static_cast<index_t>(corner_vertices.size()));
    active.push_back(mesh_.polygon_active_[old]);
  }
  mesh_.polygon_starts_ = std::move(starts);
  mesh_.corner_vertices_ = std::move(corner_vertices);
  mesh_.edge_adjacents_ = std::move(edge_adjacents);
  mesh_.edge_twins_ = std::move(edge_twins);
  mesh_.polygon_active_ = std::move(active);
  for (auto& corner : mesh_.vertex_corners_) {
    if (corner.polygon_id != NO_ID) corner.polygon_id = old2new[corner.polygon_id];
  }
  mesh_.polygon_attribute_manager().permute_elements(permutation);
}

template <index_t D>
std::unique_ptr<TriangulatedSurfaceBuilder<D>> TriangulatedSurfaceBuilder<D>::create(
    TriangulatedSurface<D>& mesh) {
  return std::unique_ptr<TriangulatedSurfaceBuilder>(new TriangulatedSurfaceBuilder(mesh));
}

template <index_t D>
index_t TriangulatedSurfaceBuilder<D>::create_triangle(std::array<index_t, 3> const& vertices) {
  return this->create_polygon(vertices);
}

template <index_t D>
index_t TriangulatedSurfaceBuilder<D>::create_triangle(std::array<index_t, 3> const& vertices,
                                                       index_t parent) {
  return this->create_polygon(vertices, parent);
}

template <index_t D>
std::unique_ptr<PolygonalSurfaceBuilder<D>> PolygonalSurfaceBuilder<D>::create(
    PolygonalSurface<D>& mesh) {
  return std::unique_ptr<PolygonalSurfaceBuilder>(new PolygonalSurfaceBuilder(mesh));
}

template class SurfaceMeshBuilder<2>;
template class SurfaceMeshBuilder<3>;
template class TriangulatedSurfaceBuilder<2>;
template class TriangulatedSurfaceBuilder<3>;
template class PolygonalSurfaceBuilder<2>;
template class PolygonalSurfaceBuilder<3>;

}  // namespace tarnix
