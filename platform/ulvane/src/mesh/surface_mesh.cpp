#include <ulvane/mesh/surface_mesh.h>

#include <algorithm>
#include <stdexcept>

namespace tarnix {
namespace {

// Written out here: Vector<3>::cross does not compile as of this writing
// (its brace initialiser is ambiguous between the two constructors).
Vector<3> cross_product(Vector<3> const& a, Vector<3> const& b) {
  return Vector<3>{std::array<double, 3>{{a.value(1) * b.value(2) - a.value(2) * b.value(1),
                                          a.value(2) * b.value(0) - a.value(0) * b.value(2),
                                          a.value(0) * b.value(1) - a.value(1) * b.value(0)}}};
}

}  // namespace

template <index_t D>
SurfaceMesh<D>::SurfaceMesh()
    : polygon_starts_{0}, polygon_attributes_(std::make_unique<AttributeManager>()) {}

template <index_t D>
void SurfaceMesh<D>::copy_surface(SurfaceMesh const& other) {
  points_ = other.points_;
  vertex_corners_ = other.vertex_corners_;
  vertex_nb_active_corners_ = other.vertex_nb_active_corners_;
  polygon_starts_ = other.polygon_starts_;
  polygon_active_ = other.polygon_active_;
  corner_vertices_ = other.corner_vertices_;
  edge_adjacents_ = other.edge_adjacents_;
  edge_twins_ = other.edge_twins_;
  this->vertex_attribute_manager().copy(other.vertex_attribute_manager());
  polygon_attributes_->copy(*other.polygon_attributes_);
}

template <index_t D>
index_t SurfaceMesh<D>::polygon_start(index_t polygon) const {
  return detail::checked_at(polygon_starts_, polygon);
}

template <index_t D>
template <bool Triangles>
inline PolygonVertex SurfaceMesh<D>::step_around_vertex(PolygonVertex const& corner, bool forward,
                                                 bool& mutual) const {
  const index_t polygon = corner.polygon_id;
  const index_t start = Triangles ? 3 * polygon : polygon_starts_[polygon];
  const index_t size = Triangles ? 3 : polygon_starts_[polygon + 1] - start;
  const auto next_local = [](index_t local, index_t count) {
    return static_cast<local_index_t>(local + 1 == count ? 0 : local + 1);
  };
  // Forward crosses the edge leaving the vertex, whose twin enters it;
  // backward crosses the edge entering it, whose twin leaves it.
  const local_index_t crossed =
      forward ? corner.vertex_id
              : static_cast<local_index_t>(corner.vertex_id == 0 ? size - 1 : corner.vertex_id - 1);
  const index_t position = start + crossed;
  const index_t adjacent = edge_adjacents_[position];
  if (adjacent == NO_ID || !polygon_active_[adjacent]) return {};
  const index_t from = corner_vertices_[position];
  const index_t to = corner_vertices_[start + next_local(crossed, size)];
  const local_index_t twin = find_twin<Triangles>(polygon, position, from, to, adjacent, mutual);
  if (twin == NO_LID) return {};
  // The twin's first vertex is the crossed edge's second: forward, the
  // vertex is the twin's second vertex, backward its first.
  if (!forward) return {adjacent, twin};
  const index_t adjacent_size =
      Triangles ? 3 : polygon_starts_[adjacent + 1] - polygon_starts_[adjacent];
  return {adjacent, next_local(twin, adjacent_size)};
}

template <index_t D>
absl::optional<PolygonVertex> SurfaceMesh<D>::turn_around_vertex(PolygonVertex const& corner,
                                                                 bool forward) const {
  corner_index(corner.polygon_id, corner.vertex_id);  // throws for a corner out of range
  bool mutual = false;
  const PolygonVertex turned = only_triangles()
                                   ? step_around_vertex<true>(corner, forward, mutual)
                                   : step_around_vertex<false>(corner, forward, mutual);
  if (turned.polygon_id == NO_ID) return absl::nullopt;
  return turned;
}

template <index_t D>
template <bool Triangles>
index_t SurfaceMesh<D>::collect_fan(PolygonVertex associated, index_t bound,
                                    PolygonVertex* fan) const {
  // Most fans are closed. Turning forward from the associated corner back
  // to it across edges that are twins both ways gives the fan in its order,
  // and walking back first would only retrace it in reverse.
  bool mutual = false;
  index_t count = 0;
  fan[count++] = associated;
  for (PolygonVertex corner = associated;;) {
    const PolygonVertex next = step_around_vertex<Triangles>(corner, true, mutual);
    if (next.polygon_id == NO_ID || !mutual) break;
    if (next == associated) return count;
    if (count >= bound) break;
    corner = next;
    fan[count++] = corner;
  }

  // Walk back to the border, if the fan has one.
  PolygonVertex first = associated;
  bool closed = false;
  for (index_t step = 0; step < bound; ++step) {
    const PolygonVertex previous = step_around_vertex<Triangles>(first, false, mutual);
    if (previous.polygon_id == NO_ID) break;
    if (previous == associated) {
      closed = true;
      break;
    }
    first = previous;
  }
  if (closed) first = associated;

  count = 0;
  fan[count++] = first;
  PolygonVertex corner = first;
  while (count < bound) {
    const PolygonVertex next = step_around_vertex<Triangles>(corner, true, mutual);
    if (next.polygon_id == NO_ID || next == first) break;
    corner = next;
    fan[count++] = corner;
  }
  return count;
}

template <index_t D>
PolygonEdge SurfaceMesh<D>::next_on_border(PolygonEdge const& edge) const {
  if (!is_edge_on_border(edge)) {
    throw UlvaneException("[SurfaceMesh::next_on_border] The edge is not on the border: polygon ",
                          absl::StrCat(edge.polygon_id, ", edge ", edge.edge_id));
  }
  PolygonVertex corner = next_polygon_vertex(PolygonVertex{edge});
  const index_t vertex = polygon_vertex(corner);
  // A fan has at most as many polygons as the vertex has active corners;
  // the bound keeps a corrupted adjacency from looping.
  const index_t bound = vertex_nb_active_corners_[vertex];
  for (index_t step = 0; step <= bound; ++step) {
    if (is_edge_on_border(PolygonEdge{corner})) return PolygonEdge{corner};
    const auto next = turn_around_vertex(corner, true);
    if (!next) break;
    corner = *next;
  }
  throw UlvaneException("[SurfaceMesh::next_on_border] No border edge leaves vertex ",
                        std::to_string(vertex));
}

template <index_t D>
absl::InlinedVector<PolygonVertex, 10> SurfaceMesh<D>::polygons_around_vertex(
    index_t vertex) const {
  absl::InlinedVector<PolygonVertex, 10> fan;
  // Read as a plain corner: an optional made here costs more than the walk
  // of a small fan.
  const PolygonVertex associated = detail::checked_at(vertex_corners_, vertex);
  if (associated.polygon_id == NO_ID) return fan;
  const index_t bound = vertex_nb_active_corners_[vertex];
  // The walk writes in place: pushing each corner costs more than a step.
  fan.resize(std::max<index_t>(bound, 1));
  fan.resize(only_triangles() ? collect_fan<true>(associated, bound, fan.data())
                              : collect_fan<false>(associated, bound, fan.data()));
  return fan;
}

template <index_t D>
absl::optional<PolygonEdge> SurfaceMesh<D>::polygon_edge_from_vertices(index_t from,
                                                                       index_t to) const {
  for (auto const& corner : polygons_around_vertex(from)) {
    if (polygon_vertex(next_polygon_vertex(corner)) == to) return PolygonEdge{corner};
  }
  for (auto const& corner : polygons_around_vertex(to)) {
    const PolygonVertex previous = previous_polygon_vertex(corner);
    if (polygon_vertex(previous) == from) return PolygonEdge{previous};
  }
  return absl::nullopt;
}

template <index_t D>
absl::InlinedVector<PolygonEdge, 2> SurfaceMesh<D>::polygons_from_edge_vertices(
    std::array<index_t, 2> const& vertices) const {
  absl::InlinedVector<PolygonEdge, 2> edges;
  const auto add = [&edges](PolygonEdge const& edge) {
    for (auto const& known : edges) {
      if (known == edge) return;
    }
    edges.push_back(edge);
  };
  for (local_index_t end = 0; end < 2; ++end) {
    const index_t other = vertices[1 - end];
    for (auto const& corner : polygons_around_vertex(vertices[end])) {
      if (polygon_vertex(next_polygon_vertex(corner)) == other) add(PolygonEdge{corner});
      const PolygonVertex previous = previous_polygon_vertex(corner);
      if (polygon_vertex(previous) == other) add(PolygonEdge{previous});
    }
  }
  return edges;
}

template <index_t D>
double SurfaceMesh<D>::edge_length(PolygonEdge const& edge) const {
  const auto vertices = polygon_edge_vertices(edge);
  return Vector<D>{point(vertices[0]), point(vertices[1])}.length();
}

template <index_t D>
Point<D> SurfaceMesh<D>::edge_barycenter(PolygonEdge const& edge) const {
  const auto vertices = polygon_edge_vertices(edge);
  return (point(vertices[0]) + point(vertices[1])) * 0.5;
}

template <index_t D>
Point<D> SurfaceMesh<D>::polygon_barycenter(index_t polygon) const {
  const local_index_t size = nb_polygon_vertices(polygon);
  Point<D> sum;
  for (local_index_t v = 0; v < size; ++v) {
    sum += point(corner_vertices_[polygon_starts_[polygon] + v]);
  }
  return sum / static_cast<double>(size);
}

template <index_t D>
Vector<3> SurfaceMesh<D>::polygon_area_vector(index_t polygon) const {
  // Sum of the cross products over the fan of triangles (p0, pi, pi+1): for
  // a triangle it is (p1 - p0) x (p2 - p0). A 2D polygon lies in z = 0.
  const local_index_t size = nb_polygon_vertices(polygon);
  const index_t start = polygon_starts_[polygon];
  const auto lift = [this](index_t vertex) {
    Vector<3> lifted;
    for (index_t i = 0; i < D; ++i) lifted.set_value(i, point(vertex).value(i));
    return lifted;
  };
  const Vector<3> origin = lift(corner_vertices_[start]);
  Vector<3> sum;
  for (local_index_t v = 1; v + 1 < size; ++v) {
    const Vector<3> a = lift(corner_vertices_[start + v]) - origin;
    const Vector<3> b = lift(corner_vertices_[start + v + 1]) - origin;
    sum += cross_product(a, b);
  }
  return sum;
}

template class SurfaceMesh<2>;
template class SurfaceMesh<3>;

}  // namespace tarnix
