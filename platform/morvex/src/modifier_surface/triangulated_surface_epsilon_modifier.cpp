#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include <absl/container/inlined_vector.h>

#include <ulvane/geometry/predicates.h>
#include <ulvane/geometry/vector.h>

#include <morvex/common/snapping.h>

#include "surface_topology.h"

namespace tarnix {
namespace {

double distance(Point<2> const& a, Point<2> const& b) { return Vector<2>{a, b}.length(); }

double longest_edge(TriangulatedSurface<2> const& mesh, index_t triangle) {
  double longest = 0.0;
  for (local_index_t e = 0; e < 3; ++e) longest = std::max(longest, mesh.edge_length({triangle, e}));
  return longest;
}

//! The distance from the point to the line through a and b, and where its
//! projection falls along a -> b (0 at a, 1 at b).
struct LineOffset {
  double distance;
  double parameter;
};
LineOffset line_offset(Point<2> const& a, Point<2> const& b, Point<2> const& point) {
  const Vector<2> direction{a, b};
  const Vector<2> offset{a, point};
  const double length = direction.length();
  if (!(length > 0.0)) return {distance(a, point), 0.0};
  const double cross = direction.value(0) * offset.value(1) - direction.value(1) * offset.value(0);
  return {std::fabs(cross) / length, direction.dot(offset) / (length * length)};
}

//! The distance from the point to the segment [a, b].
double segment_distance(Point<2> const& a, Point<2> const& b, Point<2> const& point) {
  const auto offset = line_offset(a, b, point);
  if (offset.parameter <= 0.0) return distance(a, point);
  if (offset.parameter >= 1.0) return distance(b, point);
  return offset.distance;
}

//! Whether splitting the edge at the point leaves every new triangle
//! positive: the point lies strictly inside the diamond of the edge's
//! triangles (the triangle alone on the border), on either side of the edge.
bool is_in_diamond(TriangulatedSurface<2> const& mesh, PolygonEdge const& edge,
                   Point<2> const& point) {
  const auto check_side = [&mesh, &point](PolygonEdge const& side) {
    const auto ends = mesh.polygon_edge_vertices(side);
    const Point<2>& opposite =
        mesh.point(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{side})));
    return orientation_2d(mesh.point(ends[0]), point, opposite) == Sign::positive &&
           orientation_2d(point, mesh.point(ends[1]), opposite) == Sign::positive;
  };
  if (!check_side(edge)) return false;
  const auto twin = mesh.polygon_adjacent_edge(edge);
  return !twin || check_side(*twin);
}

//! The active vertex nearest to the point within the tolerance, searched
//! along a visibility walk from the triangle towards the point and around
//! the triangle where the walk ends.
absl::optional<index_t> vertex_near(TriangulatedSurface<2> const& mesh, index_t start,
                                    Point<2> const& point, double tolerance) {
  absl::optional<index_t> best;
  double best_distance = tolerance;
  const auto consider = [&](index_t triangle) {
    for (local_index_t v = 0; v < 3; ++v) {
      const index_t vertex = mesh.polygon_vertex({triangle, v});
      const double d = distance(mesh.point(vertex), point);
      if (d <= best_distance) {
        best = vertex;
        best_distance = d;
      }
    }
  };
  index_t triangle = start;
  // A visibility walk ends in the triangle holding the point, or at the
  // border. Trying the exit edges from a rotating start keeps it from
  // circling on meshes that are not Delaunay; the bound is a safeguard.
  const index_t bound = mesh.nb_polygons();
  for (index_t step = 0; step < bound; ++step) {
    consider(triangle);
    absl::optional<PolygonEdge> exit;
    for (local_index_t i = 0; i < 3 && !exit; ++i) {
      const PolygonEdge candidate{triangle, static_cast<local_index_t>((i + step) % 3)};
      const auto ends = mesh.polygon_edge_vertices(candidate);
      if (orientation_2d(mesh.point(ends[0]), mesh.point(ends[1]), point) == Sign::negative) {
        exit = candidate;
      }
    }
    if (!exit) break;
    const auto adjacent = mesh.polygon_adjacent(*exit);
    if (!adjacent) break;
    triangle = *adjacent;
  }
  for (local_index_t e = 0; e < 3; ++e) {
    if (const auto adjacent = mesh.polygon_adjacent({triangle, e})) consider(*adjacent);
  }
  return best;
}

//! An active triangle of the vertex, if it has one.
absl::optional<index_t> triangle_at(TriangulatedSurface<2> const& mesh, index_t vertex) {
  if (const auto corner = mesh.associated_polygon_vertex(vertex)) return corner->polygon_id;
  return absl::nullopt;
}

Position vertex_position(local_index_t local) {
  return static_cast<Position>(static_cast<int>(Position::vertex0) + local);
}
Position edge_position(local_index_t local) {
  return static_cast<Position>(static_cast<int>(Position::edge0) + local);
}

//! The split record of a point insertion into a triangle made from that of
//! an edge split: pieces and moved edges first, edges inside second.
SplitTriangleInfo as_triangle_info(SplitPolygonEdgeInfo const& split) {
  SplitTriangleInfo info;
  info.vertex = split.vertex;
  for (auto const* group : {&split.first, &split.second}) {
    for (auto const& pair : group->split_edges) info.replacing_edges.push_back(pair);
  }
  for (auto const* group : {&split.first, &split.second}) {
    for (auto const& pair : group->replacing_edges) info.replacing_edges.push_back(pair);
    for (auto const& pair : group->interior_edges) info.interior_edges.push_back(pair);
  }
  return info;
}

}  // namespace

std::pair<Position, SplitTriangleInfo>
TriangulatedSurfaceEpsilonModifier<2>::insert_point_in_triangle(index_t triangle,
                                                                Point<2> const& point) {
  check_active(triangle, "[TriangulatedSurfaceEpsilonModifier::insert_point_in_triangle]");
  if (auto inserted = try_insert_in_triangle(triangle, point)) return std::move(*inserted);
  // A point computed in a sliver can fall just beyond one of its edges,
  // where no split of this triangle keeps the orientation: it then belongs
  // to the triangle across that edge.
  const double tolerance = detail::SNAPPING_RELATIVE_EPSILON * longest_edge(mesh(), triangle);
  double distance_to_triangle = tolerance + 1;
  for (local_index_t e = 0; e < 3; ++e) {
    const auto ends = mesh().polygon_edge_vertices({triangle, e});
    distance_to_triangle = std::min(
        distance_to_triangle, segment_distance(mesh().point(ends[0]), mesh().point(ends[1]), point));
  }
  if (distance_to_triangle > tolerance) return {Position::outside, SplitTriangleInfo{}};
  for (local_index_t e = 0; e < 3; ++e) {
    const auto ends = mesh().polygon_edge_vertices({triangle, e});
    if (orientation_2d(mesh().point(ends[0]), mesh().point(ends[1]), point) != Sign::negative) {
      continue;
    }
    const auto across = mesh().polygon_adjacent({triangle, e});
    if (!across) continue;
    if (auto inserted = try_insert_in_triangle(*across, point)) return std::move(*inserted);
  }
  return {Position::outside, SplitTriangleInfo{}};
}

absl::optional<std::pair<Position, SplitTriangleInfo>>
TriangulatedSurfaceEpsilonModifier<2>::try_insert_in_triangle(index_t triangle,
                                                              Point<2> const& point) {
  if (const auto snapped = detail::snapping_detection(mesh(), triangle, point)) {
    SplitTriangleInfo info;
    info.vertex = mesh().polygon_vertex({triangle, *snapped});
    return std::make_pair(vertex_position(*snapped), std::move(info));
  }

  // An edge whose line passes within the tolerance, between the edge's
  // ends, is split instead of the triangle: the nearest one whose split
  // keeps every triangle counter-clockwise.
  const double tolerance = detail::SNAPPING_RELATIVE_EPSILON * longest_edge(mesh(), triangle);
  absl::InlinedVector<std::pair<double, local_index_t>, 3> near_edges;
  bool inside = true;
  for (local_index_t e = 0; e < 3; ++e) {
    const auto ends = mesh().polygon_edge_vertices({triangle, e});
    const Point<2>& from = mesh().point(ends[0]);
    const Point<2>& to = mesh().point(ends[1]);
    const Sign side = orientation_2d(from, to, point);
    if (side != Sign::positive) inside = false;
    const auto offset = line_offset(from, to, point);
    const double d = side == Sign::zero ? 0.0 : offset.distance;
    if (d <= tolerance && offset.parameter > 0.0 && offset.parameter < 1.0) {
      near_edges.emplace_back(d, e);
    }
  }
  std::sort(near_edges.begin(), near_edges.end());
  for (auto const& near_edge : near_edges) {
    const PolygonEdge edge{triangle, near_edge.second};
    if (!is_in_diamond(mesh(), edge, point)) continue;
    const auto split = split_edge_at(edge, point);
    return std::make_pair(edge_position(near_edge.second), as_triangle_info(split));
  }
  if (inside) return std::make_pair(Position::inside, split_triangle_at(triangle, point));
  return absl::nullopt;
}

std::pair<Position, SplitPolygonEdgeInfo>
TriangulatedSurfaceEpsilonModifier<2>::insert_point_on_edge(PolygonEdge const& edge,
                                                            Point<2> const& point) {
  // A removed triangle keeps its vertices in storage, and a collapse may
  // have merged them since: their current ids name the edge.
  const auto stored = mesh().polygon_edge_vertices(edge);
  const std::array<index_t, 2> ends{{updated_vertex(stored[0]), updated_vertex(stored[1])}};
  const std::array<double, 2> end_distances{
      {distance(mesh().point(ends[0]), point), distance(mesh().point(ends[1]), point)}};
  const double tolerance =
      detail::SNAPPING_RELATIVE_EPSILON * distance(mesh().point(ends[0]), mesh().point(ends[1]));

  SplitPolygonEdgeInfo snapped;
  const local_index_t nearer = end_distances[1] < end_distances[0] ? 1 : 0;
  if (end_distances[nearer] <= tolerance) {
    snapped.vertex = ends[nearer];
    return {vertex_position(nearer), snapped};
  }

  const bool is_active = mesh().is_polygon_active(edge.polygon_id);
  absl::optional<index_t> start = is_active ? absl::make_optional(edge.polygon_id)
                                            : triangle_at(mesh(), ends[0]);
  if (!start) start = triangle_at(mesh(), ends[1]);
  if (start) {
    if (const auto met = vertex_near(mesh(), *start, point, tolerance)) {
      snapped.vertex = *met;
      return {Position::vertex2, snapped};
    }
  }

  // A stale handle whose edge still exists (its triangle was divided
  // elsewhere) is followed to the edge's current polygon edge.
  absl::optional<PolygonEdge> current;
  if (is_active) {
    current = edge;
  } else {
    current = mesh().polygon_edge_from_vertices(ends[0], ends[1]);
  }
  if (!current || !is_in_diamond(mesh(), *current, point)) {
    return {Position::outside, SplitPolygonEdgeInfo{}};
  }
  return {Position::inside, split_edge_at(*current, point)};
}

namespace detail {

template <index_t D>
absl::optional<local_index_t> snapping_detection(TriangulatedSurface<D> const& mesh,
                                                 index_t triangle, Point<D> const& point) {
  double longest = 0.0;
  for (local_index_t e = 0; e < 3; ++e) longest = std::max(longest, mesh.edge_length({triangle, e}));
  double best_distance = SNAPPING_RELATIVE_EPSILON * longest;
  absl::optional<local_index_t> best;
  for (local_index_t v = 0; v < 3; ++v) {
    const double d = Vector<D>{mesh.point(mesh.polygon_vertex({triangle, v})), point}.length();
    if (d <= best_distance) {
      best = v;
      best_distance = d;
    }
  }
  return best;
}

template absl::optional<local_index_t> snapping_detection<2>(TriangulatedSurface<2> const&,
                                                             index_t, Point<2> const&);

}  // namespace detail
}  // namespace tarnix
