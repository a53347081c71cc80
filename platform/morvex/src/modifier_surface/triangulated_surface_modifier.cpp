#include <morvex/modifier_surface/triangulated_surface_modifier.h>

#include <algorithm>
#include <array>

#include <absl/container/inlined_vector.h>
#include <absl/strings/str_cat.h>

#include <ulvane/basic/attribute.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>

#include "surface_topology.h"

namespace tarnix {
namespace {

template <index_t D>
Vector<3> lift(Point<D> const& point) {
  Vector<3> lifted;
  for (index_t i = 0; i < D; ++i) lifted.set_value(i, point.value(i));
  return lifted;
}

//! Barycentric weights of the point in the triangle's plane, clamped to the
//! triangle so that interpolated values stay within the corners' range;
//! equal weights for a degenerate triangle.
template <index_t D>
std::array<double, 3> triangle_weights(std::array<Point<D>, 3> const& corners,
                                       Point<D> const& point) {
  const Vector<3> p = lift(point);
  std::array<Vector<3>, 3> c{{lift(corners[0]), lift(corners[1]), lift(corners[2])}};
  const Vector<3> normal = (c[1] - c[0]).cross(c[2] - c[0]);
  std::array<double, 3> weights{};
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double area = normal.dot((c[(i + 1) % 3] - p).cross(c[(i + 2) % 3] - p));
    weights[i] = std::max(area, 0.0);
    sum += weights[i];
  }
  if (!(sum > 0.0)) return {{1.0 / 3, 1.0 / 3, 1.0 / 3}};
  for (auto& weight : weights) weight /= sum;
  return weights;
}

//! The position of the point's projection along the segment, in [0, 1].
template <index_t D>
double segment_parameter(Point<D> const& from, Point<D> const& to, Point<D> const& point) {
  const Vector<D> direction{from, to};
  const double length2 = direction.length2();
  if (!(length2 > 0.0)) return 0.5;
  const double parameter = direction.dot(Vector<D>{from, point}) / length2;
  return std::min(1.0, std::max(0.0, parameter));
}

std::array<index_t, 3> with_vertex(std::array<index_t, 3> vertices, local_index_t local,
                                   index_t vertex) {
  vertices[local] = vertex;
  return vertices;
}

bool contains(absl::Span<const index_t> triangles, index_t triangle) {
  return std::find(triangles.begin(), triangles.end(), triangle) != triangles.end();
}

//! Before the triangles go, moves the associated corner of each of their
//! vertices that lies in one of them to a corner of the same vertex in a
//! triangle that stays: the builder would otherwise search the whole mesh
//! for one. `candidates` are triangles that stay (new ones or neighbours).
template <index_t D>
void move_associations_out(TriangulatedSurface<D> const& mesh,
                           TriangulatedSurfaceBuilder<D>& builder,
                           absl::Span<const index_t> leaving,
                           absl::Span<const index_t> candidates) {
  for (const index_t triangle : leaving) {
    for (local_index_t v = 0; v < 3; ++v) {
      const index_t vertex = mesh.polygon_vertex({triangle, v});
      const auto associated = mesh.associated_polygon_vertex(vertex);
      if (!associated || !contains(leaving, associated->polygon_id)) continue;
      for (const index_t candidate : candidates) {
        if (!mesh.is_polygon_active(candidate) || contains(leaving, candidate)) continue;
        const local_index_t local =
            detail::local_of(detail::triangle_vertices(mesh, candidate), vertex);
        if (local == NO_LID) continue;
        builder.associate_polygon_vertex_to_vertex({candidate, local}, vertex);
        break;
      }
    }
  }
}

//! Makes two edges twins of each other.
template <index_t D>
void glue(TriangulatedSurfaceBuilder<D>& builder, PolygonEdge const& a, PolygonEdge const& b) {
  builder.set_polygon_adjacent(a, b.polygon_id);
  builder.set_polygon_adjacent(b, a.polygon_id);
}

}  // namespace

template <index_t D>
TriangulatedSurfaceModifier<D>::TriangulatedSurfaceModifier(TriangulatedSurface<D> const& mesh,
                                                            TriangulatedSurfaceBuilder<D>& builder)
    : mesh_(mesh), builder_(builder) {
  if (&builder.triangulated_surface() != &mesh) {
    throw UlvaneException(
        "[TriangulatedSurfaceModifier] The builder must edit the modifier's surface");
  }
}

template <index_t D>
bool TriangulatedSurfaceModifier<D>::is_triangle_active(index_t triangle) const {
  return mesh_.is_polygon_active(triangle);
}

template <index_t D>
void TriangulatedSurfaceModifier<D>::check_active(index_t triangle, char const* operation) const {
  if (!mesh_.is_polygon_active(triangle)) {
    throw UlvaneException(operation, absl::StrCat(" Triangle ", triangle, " is removed"));
  }
}

template <index_t D>
CollapseInfo TriangulatedSurfaceModifier<D>::collapse_edge(PolygonEdge const& edge,
                                                           Point<D> const& point) {
  check_active(edge.polygon_id, "[TriangulatedSurfaceModifier::collapse_edge]");
  const auto ends = mesh_.polygon_edge_vertices(edge);
  const local_index_t kept =
      mesh_.point(ends[0]) != point && mesh_.point(ends[1]) == point ? 1 : 0;
  const index_t remaining = ends[kept];
  const index_t merged = ends[1 - kept];

  // The triangles on the edge, and for each the twins of its two other
  // edges: the one at the merged end and the one at the remaining end.
  // They become twins of each other once the triangle between them goes.
  absl::InlinedVector<index_t, 4> removed{edge.polygon_id};
  absl::InlinedVector<PolygonEdge, 2> on_edge{edge};
  if (const auto twin = mesh_.polygon_adjacent_edge(edge)) {
    removed.push_back(twin->polygon_id);
    on_edge.push_back(*twin);
  }
  struct Stitch {
    absl::optional<PolygonEdge> at_merged;
    absl::optional<PolygonEdge> at_remaining;
  };
  absl::InlinedVector<Stitch, 2> stitches;
  for (auto const& side : on_edge) {
    const bool starts_at_merged = mesh_.polygon_edge_vertex(side, 0) == merged;
    // Of the side's other two edges, the next one touches its second
    // vertex and the previous one its first.
    const auto next_twin = mesh_.polygon_adjacent_edge(mesh_.next_polygon_edge(side));
    const auto previous_twin = mesh_.polygon_adjacent_edge(mesh_.previous_polygon_edge(side));
    Stitch stitch;
    stitch.at_merged = starts_at_merged ? previous_twin : next_twin;
    stitch.at_remaining = starts_at_merged ? next_twin : previous_twin;
    stitches.push_back(stitch);
  }

  // The merged end's fan moves to the remaining end. A fan triangle that
  // also uses the remaining end (only on a non-manifold edge) would fold
  // onto a segment: it goes with the edge's triangles.
  const PolygonVertex merged_corner = ends[0] == merged
                                          ? PolygonVertex{edge}
                                          : mesh_.next_polygon_vertex(PolygonVertex{edge});
  const auto fan = detail::fan_through(mesh_, merged_corner);
  absl::InlinedVector<PolygonVertex, 10> moved;
  for (auto const& corner : fan.corners) {
    if (contains(removed, corner.polygon_id)) continue;
    if (detail::local_of(detail::triangle_vertices(mesh_, corner.polygon_id), remaining) !=
        NO_LID) {
      removed.push_back(corner.polygon_id);
      continue;
    }
    moved.push_back(corner);
  }
  for (auto const& corner : moved) builder_.set_polygon_vertex(corner, remaining);

  absl::InlinedVector<index_t, 8> neighbours;
  for (const index_t triangle : removed) {
    for (local_index_t e = 0; e < 3; ++e) {
      if (const auto adjacent = mesh_.polygon_adjacent({triangle, e})) {
        neighbours.push_back(*adjacent);
      }
    }
  }
  move_associations_out(mesh_, builder_, removed, neighbours);
  for (const index_t triangle : removed) builder_.remove_polygon(triangle);
  for (auto const& stitch : stitches) {
    if (!stitch.at_merged || !stitch.at_remaining) continue;
    if (!mesh_.is_polygon_active(stitch.at_merged->polygon_id) ||
        !mesh_.is_polygon_active(stitch.at_remaining->polygon_id)) {
      continue;
    }
    glue(builder_, *stitch.at_merged, *stitch.at_remaining);
  }
  builder_.set_point(remaining, point);

  CollapseInfo info;
  info.vertex = remaining;
  if (!mesh_.associated_polygon_vertex(merged)) {
    record_merge(merged, remaining);
    info.merged.push_back(merged);
  }
  return info;
}

template <index_t D>
SplitTriangleInfo TriangulatedSurfaceModifier<D>::split_triangle(index_t triangle,
                                                                 Point<D> const& point) {
  constexpr char const* operation = "[TriangulatedSurfaceModifier::split_triangle]";
  check_active(triangle, operation);
  if constexpr (D == 2) {
    const auto vertices = detail::triangle_vertices(mesh_, triangle);
    for (local_index_t e = 0; e < 3; ++e) {
      if (orientation_2d(mesh_.point(vertices[e]), mesh_.point(vertices[detail::next_local(e)]),
                         point) != Sign::positive) {
        throw UlvaneException(operation, absl::StrCat(" The point is not strictly inside triangle ",
                                                      triangle));
      }
    }
  }
  return split_triangle_at(triangle, point);
}

template <index_t D>
SplitTriangleInfo TriangulatedSurfaceModifier<D>::split_triangle_at(index_t triangle,
                                                                    Point<D> const& point) {
  const auto vertices = detail::triangle_vertices(mesh_, triangle);
  const std::array<Point<D>, 3> corners{
      {mesh_.point(vertices[0]), mesh_.point(vertices[1]), mesh_.point(vertices[2])}};
  const auto weights = triangle_weights(corners, point);
  std::array<absl::optional<PolygonEdge>, 3> outer;
  for (local_index_t e = 0; e < 3; ++e) outer[e] = mesh_.polygon_adjacent_edge({triangle, e});

  const index_t vertex =
      builder_.create_point(point, WeightedElementList{vertices, weights});
  // Piece e keeps edge e of the triangle: the new vertex replaces the
  // vertex opposite that edge, so local indices and orientation stay.
  std::array<index_t, 3> pieces{};
  for (local_index_t e = 0; e < 3; ++e) {
    pieces[e] =
        builder_.create_triangle(with_vertex(vertices, detail::previous_local(e), vertex), triangle);
  }
  const std::array<index_t, 1> leaving{{triangle}};
  move_associations_out(mesh_, builder_, leaving, pieces);
  builder_.remove_polygon(triangle);

  SplitTriangleInfo info;
  info.vertex = vertex;
  for (local_index_t e = 0; e < 3; ++e) {
    const PolygonEdge kept{pieces[e], e};
    if (outer[e]) glue(builder_, kept, *outer[e]);
    // Piece e's edge from its second vertex to the new vertex is the edge
    // of piece e + 1 from the new vertex to that vertex, reversed.
    const local_index_t next = detail::next_local(e);
    glue(builder_, PolygonEdge{pieces[e], next}, PolygonEdge{pieces[next], e});
    info.replacing_edges.emplace_back(kept, PolygonEdge{triangle, e});
  }
  for (local_index_t e = 0; e < 3; ++e) {
    info.interior_edges.emplace_back(PolygonEdge{pieces[e], detail::next_local(e)}, PolygonEdge{});
    info.interior_edges.emplace_back(PolygonEdge{pieces[e], detail::previous_local(e)},
                                     PolygonEdge{});
  }
  return info;
}

template <index_t D>
SplitPolygonEdgeInfo TriangulatedSurfaceModifier<D>::split_edge_at(PolygonEdge const& edge,
                                                                   Point<D> const& point) {
  // One side of the split edge: its triangle, its local edge, its vertices
  // and the twins of its two other edges; the halves replace the edge's
  // second vertex (`towards_first`) or its first vertex (`towards_second`).
  struct Side {
    PolygonEdge edge;
    std::array<index_t, 3> vertices;
    absl::optional<PolygonEdge> next_twin;
    absl::optional<PolygonEdge> previous_twin;
    index_t towards_first{NO_ID};
    index_t towards_second{NO_ID};
  };
  absl::InlinedVector<Side, 2> sides;
  const auto add_side = [this, &sides](PolygonEdge const& side_edge) {
    Side side;
    side.edge = side_edge;
    side.vertices = detail::triangle_vertices(mesh_, side_edge.polygon_id);
    side.next_twin = mesh_.polygon_adjacent_edge(mesh_.next_polygon_edge(side_edge));
    side.previous_twin = mesh_.polygon_adjacent_edge(mesh_.previous_polygon_edge(side_edge));
    sides.push_back(side);
  };
  add_side(edge);
  if (const auto twin = mesh_.polygon_adjacent_edge(edge)) add_side(*twin);

  const auto ends = mesh_.polygon_edge_vertices(edge);
  const double parameter = segment_parameter(mesh_.point(ends[0]), mesh_.point(ends[1]), point);
  const std::array<double, 2> weights{{1.0 - parameter, parameter}};
  const index_t vertex = builder_.create_point(point, WeightedElementList{ends, weights});

  absl::InlinedVector<index_t, 4> created;
  absl::InlinedVector<index_t, 2> leaving;
  for (auto& side : sides) {
    const index_t triangle = side.edge.polygon_id;
    const local_index_t e = side.edge.edge_id;
    side.towards_first =
        builder_.create_triangle(with_vertex(side.vertices, detail::next_local(e), vertex), triangle);
    side.towards_second = builder_.create_triangle(with_vertex(side.vertices, e, vertex), triangle);
    created.push_back(side.towards_first);
    created.push_back(side.towards_second);
    leaving.push_back(triangle);
  }
  move_associations_out(mesh_, builder_, leaving, created);
  for (const index_t triangle : leaving) builder_.remove_polygon(triangle);

  // An outer twin may lie in the other split triangle (two triangles that
  // share two edges); it then moved to one of the new halves.
  const auto current = [&sides](PolygonEdge const& old_edge) {
    for (auto const& side : sides) {
      if (old_edge.polygon_id != side.edge.polygon_id) continue;
      const local_index_t e = side.edge.edge_id;
      return PolygonEdge{old_edge.edge_id == detail::next_local(e) ? side.towards_second
                                                                  : side.towards_first,
                         old_edge.edge_id};
    }
    return old_edge;
  };

  SplitPolygonEdgeInfo info;
  info.vertex = vertex;
  for (auto const& side : sides) {
    const index_t triangle = side.edge.polygon_id;
    const local_index_t e = side.edge.edge_id;
    const local_index_t next = detail::next_local(e);
    const local_index_t previous = detail::previous_local(e);
    // The half at the edge's first vertex keeps the previous edge, the half
    // at its second vertex the next edge; they meet along new vertex ->
    // opposite vertex.
    const PolygonEdge first_kept{side.towards_first, previous};
    const PolygonEdge second_kept{side.towards_second, next};
    if (side.previous_twin) glue(builder_, first_kept, current(*side.previous_twin));
    if (side.next_twin) glue(builder_, second_kept, current(*side.next_twin));
    const PolygonEdge first_inner{side.towards_first, next};
    const PolygonEdge second_inner{side.towards_second, previous};
    glue(builder_, first_inner, second_inner);

    // The side's first vertex is P on the edge's own side and Q on the
    // twin's, so the halves go to the groups crosswise on the twin's side.
    const bool own = &side == &sides.front();
    auto& at_first = own ? info.first : info.second;
    auto& at_second = own ? info.second : info.first;
    at_first.triangles.emplace_back(side.towards_first, triangle);
    at_first.split_edges.emplace_back(PolygonEdge{side.towards_first, e}, side.edge);
    at_first.replacing_edges.emplace_back(first_kept, PolygonEdge{triangle, previous});
    at_first.interior_edges.emplace_back(first_inner, PolygonEdge{});
    at_second.triangles.emplace_back(side.towards_second, triangle);
    at_second.split_edges.emplace_back(PolygonEdge{side.towards_second, e}, side.edge);
    at_second.replacing_edges.emplace_back(second_kept, PolygonEdge{triangle, next});
    at_second.interior_edges.emplace_back(second_inner, PolygonEdge{});
  }
  // The piece glue is done last, once both sides exist.
  if (sides.size() == 2) {
    glue(builder_, info.first.split_edges[0].first, info.first.split_edges[1].first);
    glue(builder_, info.second.split_edges[0].first, info.second.split_edges[1].first);
  }
  return info;
}

template <index_t D>
SurfaceCleanMappings TriangulatedSurfaceModifier<D>::clean() {
  auto mappings = builder_.clean();
  forget_merges();
  return mappings;
}

template <index_t D>
std::vector<index_t> TriangulatedSurfaceModifier<D>::clean_triangles() {
  std::vector<bool> removed(mesh_.nb_polygons());
  for (index_t triangle = 0; triangle < mesh_.nb_polygons(); ++triangle) {
    removed[triangle] = !mesh_.is_polygon_active(triangle);
  }
  return builder_.delete_polygons(removed);
}

namespace {

// The fans of the edge's two ends when collapsing the edge keeps the
// surface a manifold; nothing otherwise.
template <index_t D>
absl::optional<std::array<detail::VertexFan, 2>> linked_collapse_fans(
    TriangulatedSurface<D> const& mesh, PolygonEdge const& edge) {
  if (!mesh.is_polygon_active(edge.polygon_id)) return absl::nullopt;
  const auto ends = mesh.polygon_edge_vertices(edge);
  const auto twin = mesh.polygon_adjacent_edge(edge);
  // The vertices opposite the edge: the only neighbours the ends may share.
  absl::InlinedVector<index_t, 2> opposite{
      mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{edge}))};
  if (twin) {
    opposite.push_back(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{*twin})));
  } else if (mesh.is_edge_on_border(mesh.next_polygon_edge(edge)) &&
             mesh.is_edge_on_border(mesh.previous_polygon_edge(edge))) {
    // A lone triangle would vanish into a segment.
    return absl::nullopt;
  }

  std::array<detail::VertexFan, 2> fans{
      {detail::fan_through(mesh, PolygonVertex{edge}),
       detail::fan_through(mesh, mesh.next_polygon_vertex(PolygonVertex{edge}))}};
  // An inside edge whose ends both lie on the border would pinch the
  // surface into one vertex.
  if (twin && fans[0].on_border && fans[1].on_border) return absl::nullopt;

  // Link condition: every neighbour of the first end that is also a
  // neighbour of the second must be opposite the edge.
  absl::InlinedVector<index_t, 16> first_neighbours;
  for (auto const& corner : fans[0].corners) {
    first_neighbours.push_back(mesh.polygon_vertex(mesh.next_polygon_vertex(corner)));
    first_neighbours.push_back(mesh.polygon_vertex(mesh.previous_polygon_vertex(corner)));
  }
  for (auto const& corner : fans[1].corners) {
    for (const auto neighbour : {mesh.polygon_vertex(mesh.next_polygon_vertex(corner)),
                                 mesh.polygon_vertex(mesh.previous_polygon_vertex(corner))}) {
      if (neighbour == ends[0] || contains(opposite, neighbour)) continue;
      if (contains(first_neighbours, neighbour)) return absl::nullopt;
    }
  }
  return fans;
}

}  // namespace

template <index_t D>
bool is_collapse_edge_link_valid(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge) {
  return linked_collapse_fans(mesh, edge).has_value();
}

template <index_t D>
bool is_collapse_edge_valid(TriangulatedSurface<D> const& mesh, PolygonEdge const& edge,
                            Point<D> const& point) {
  static_assert(D == 2, "collapse validity is decided in the plane");
  const auto fans = linked_collapse_fans(mesh, edge);
  if (!fans) return false;
  const auto ends = mesh.polygon_edge_vertices(edge);
  absl::InlinedVector<index_t, 2> on_edge{edge.polygon_id};
  if (const auto twin = mesh.polygon_adjacent_edge(edge)) on_edge.push_back(twin->polygon_id);

  // Every triangle that stays must keep a positive orientation with the
  // end moved to the point.
  for (local_index_t end = 0; end < 2; ++end) {
    for (auto const& corner : (*fans)[end].corners) {
      if (contains(on_edge, corner.polygon_id)) continue;
      std::array<Point<D>, 3> corners;
      for (local_index_t v = 0; v < 3; ++v) {
        const index_t vertex = mesh.polygon_vertex({corner.polygon_id, v});
        if (vertex == ends[1 - end]) return false;
        corners[v] = v == corner.vertex_id ? point : mesh.point(vertex);
      }
      if (orientation_2d(corners[0], corners[1], corners[2]) != Sign::positive) return false;
    }
  }
  return true;
}

template class TriangulatedSurfaceModifier<2>;
template class TriangulatedSurfaceModifier<3>;
template bool is_collapse_edge_valid<2>(TriangulatedSurface<2> const&, PolygonEdge const&,
                                        Point<2> const&);
template bool is_collapse_edge_link_valid<2>(TriangulatedSurface<2> const&, PolygonEdge const&);
template bool is_collapse_edge_link_valid<3>(TriangulatedSurface<3> const&, PolygonEdge const&);

}  // namespace tarnix
