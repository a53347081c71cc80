// Edges of S that cross a triangle of O are removed by splits, the longest
// edge of either surface first, each split point taken on the input
// surface (or input line) of the split edge.

#include <algorithm>
#include <deque>
#include <tuple>
#include <utility>
#include <vector>

#include <ulvane/basic/logger.h>
#include <ulvane/geometry/basic_objects.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/position.h>

#include "brep/aabb_traversal.h"
#include "brep/repair/surface_intersection_repairer.h"

namespace tarnix {
namespace detail {
namespace {

//! Sorts the edges by decreasing length and returns their lengths.
std::vector<double> sort_by_decreasing_length(std::vector<PolygonEdge>& edges,
                                              TriangulatedSurface<3> const& mesh) {
  std::vector<std::pair<double, PolygonEdge>> sorted;
  sorted.reserve(edges.size());
  for (auto const& edge : edges) sorted.emplace_back(mesh.edge_length(edge), edge);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](auto const& a, auto const& b) { return a.first > b.first; });
  std::vector<double> lengths;
  lengths.reserve(sorted.size());
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    edges[k] = sorted[k].second;
    lengths.push_back(sorted[k].first);
  }
  return lengths;
}

}  // namespace

absl::flat_hash_set<uuid> CrossingEdgesRepair::repair_crossing_edges() {
  const index_t max_iterations = repairer.repair_limits().max_crossing_iterations;
  for (index_t iteration = 0; !edges.empty(); ++iteration) {
    if (iteration == max_iterations) {
      Logger::log_info("[repair_surface_intersections] Stopped after ", max_iterations,
                       " iterations of a crossing repair between ",
                       input_surface_id(repairer.remeshing_data, surface).string(), " and ",
                       input_surface_id(repairer.remeshing_data, other_surface).string(), ", ",
                       edges.size(), " crossing edges left");
      break;
    }
    const auto lengths = sort_by_decreasing_length(edges, surface_mesh);
    const auto other_lengths = sort_by_decreasing_length(other_edges, other_surface_mesh);
    // Both lists in one order of decreasing length, an edge of O before an
    // edge of S of the same length; the first split ends the walk.
    const std::size_t nb_edges = edges.size();
    const std::size_t nb_other_edges = other_edges.size();
    std::size_t j = 0;
    std::size_t i = 0;
    bool split = false;
    while (!split && (j < nb_edges || i < nb_other_edges)) {
      const bool take_own = j < nb_edges && (i == nb_other_edges || lengths[j] > other_lengths[i]);
      if (take_own) {
        split = split_edge(edges[j]);
        if (!split) ++j;
      } else {
        split = split_other_edge_and_carry(other_edges[i]);
        if (!split) ++i;
      }
    }
    update_crossing_edges();
    // Without a split the meshes are unchanged, and so would be every
    // following iteration. What is left is found, and logged, by the next
    // detection sweep.
    if (!split) break;
  }
  return modified_surfaces;
}

bool CrossingEdgesRepair::split_edge(PolygonEdge const& edge_handle) {
  const PolygonEdge edge = edge_handle;  // `edges` grows below
  if (!repairer.may_split()) return false;
  const Point<3> point = project_edge_midpoint(edge).first;
  if (!is_split_valid(surface, edge, point)) return false;
  const auto info = repairer.split_edge(surface, edge, point);
  for (auto const& record : info.surfaces.at(surface.id())) {
    for (auto const* pairs : {&record.own_edges, &record.twin_edges}) {
      for (auto const& pair : *pairs) {
        if (pair.second == edge) edges.push_back(pair.first);
      }
    }
  }
  for (auto const& changed : info.surfaces) modified_surfaces.insert(changed.first);
  return true;
}

absl::optional<CrossingEdgesRepair::OtherEdgeSplit> CrossingEdgesRepair::split_other_edge(
    PolygonEdge const& edge_handle) {
  const PolygonEdge edge = edge_handle;  // `other_edges` grows below
  if (!repairer.may_split()) return absl::nullopt;
  const Point<3> midpoint = other_surface_mesh.edge_barycenter(edge);
  Point<3> point;
  if (other_surface_mesh.is_edge_on_border(edge)) {
    point = border_edge_split_point(edge, midpoint);
  } else {
    DistanceToTriangle<3> distance{other_input_mesh};
    point = std::get<1>(
        repairer.input_surface_tree(other_surface).closest_element(midpoint, distance));
  }
  if (!is_split_valid(other_surface, edge, point)) return absl::nullopt;
  OtherEdgeSplit result{repairer.split_edge(other_surface, edge, point), point};
  for (auto const& record : result.info.surfaces.at(other_surface.id())) {
    for (auto const* pairs : {&record.own_triangles, &record.twin_triangles}) {
      for (auto const& pair : *pairs) {
        if (pair.second != edge.polygon_id) continue;
        for (local_index_t k = 0; k < 3; ++k) other_edges.emplace_back(pair.first, k);
      }
    }
  }
  for (auto const& changed : result.info.surfaces) modified_surfaces.insert(changed.first);
  return result;
}

bool CrossingEdgesRepair::split_other_edge_and_carry(PolygonEdge const& edge) {
  const auto split = split_other_edge(edge);
  if (!split) return false;
  const auto found = split->info.surfaces.find(surface.id());
  if (found == split->info.surfaces.end()) return true;
  for (auto const& record : found->second) {
    for (auto const* pairs : {&record.own_edges, &record.twin_edges}) {
      // Edges appended for this list are matched against the later lists.
      const std::size_t nb_edges = edges.size();
      for (std::size_t k = 0; k < nb_edges; ++k) {
        for (auto const& pair : *pairs) {
          if (pair.second == edges[k]) edges.push_back(pair.first);
        }
      }
    }
  }
  return true;
}

void CrossingEdgesRepair::update_crossing_edges() {
  std::vector<bool> keep_edge(edges.size(), false);
  std::vector<bool> keep_other(other_edges.size(), false);
  auto const& modifier = repairer.modifier;
  for (std::size_t a = 0; a < edges.size(); ++a) {
    if (!modifier.is_triangle_active(surface, edges[a].polygon_id)) continue;
    const Segment<3> segment{surface_mesh.point(surface_mesh.polygon_edge_vertex(edges[a], 0)),
                             surface_mesh.point(surface_mesh.polygon_edge_vertex(edges[a], 1))};
    for (std::size_t i = 0; i < other_edges.size(); ++i) {
      const index_t triangle = other_edges[i].polygon_id;
      if (!modifier.is_triangle_active(other_surface, triangle)) continue;
      const auto position =
          segment_triangle_intersection_detection(segment, other_surface_mesh.triangle(triangle));
      if (position.first == Position::inside) {
        keep_edge[a] = true;
        keep_other[i] = true;
      }
    }
  }
  const auto compact = [](std::vector<PolygonEdge>& list, std::vector<bool> const& keep) {
    std::size_t kept = 0;
    for (std::size_t k = 0; k < list.size(); ++k) {
      if (keep[k]) list[kept++] = list[k];
    }
    list.resize(kept);
  };
  compact(edges, keep_edge);
  compact(other_edges, keep_other);
}

Point<3> CrossingEdgesRepair::border_edge_split_point(PolygonEdge const& edge,
                                                      Point<3> const& midpoint) {
  auto const& model = repairer.output;
  const ComponentID other_id = other_surface.component_id();
  std::array<index_t, 2> vertices;
  std::array<std::vector<ComponentMeshVertex>, 2> line_vertices;
  for (local_index_t k = 0; k < 2; ++k) {
    vertices[k] = other_surface_mesh.polygon_edge_vertex(edge, k);
    const index_t unique = model.unique_vertex({other_id, vertices[k]});
    line_vertices[k] = model.component_mesh_vertices(unique, Line<3>::component_type_static());
  }
  const auto pairs = model.component_mesh_vertex_pairs(line_vertices[0], line_vertices[1]);
  if (pairs.empty()) {
    // A free border: the edge is treated as an interior one.
    DistanceToTriangle<3> distance{other_input_mesh};
    return std::get<1>(
        repairer.input_surface_tree(other_surface).closest_element(midpoint, distance));
  }
  auto const& line = model.line(pairs.begin()->first.id());
  auto const& curve = repairer.input.line(input_line_id(repairer.remeshing_data, line).id()).mesh();
  auto const& tree = repairer.input_line_tree(line);
  DistanceToEdge<3> distance{curve};
  index_t nearest;
  Point<3> point;
  std::tie(nearest, point, std::ignore) = tree.closest_element(midpoint, distance);
  if (is_split_valid(other_surface, edge, point)) return point;
  const index_t nearest0 =
      std::get<0>(tree.closest_element(other_surface_mesh.point(vertices[0]), distance));
  if (nearest0 == nearest) return point;
  const index_t nearest1 =
      std::get<0>(tree.closest_element(other_surface_mesh.point(vertices[1]), distance));
  if (nearest1 == nearest) return point;

  // Midpoints of the input line's edges, outward from the nearest edge in
  // both directions. Each edge is tested at most once, so the walk also
  // ends on a closed line.
  std::vector<bool> visited(curve.nb_edges(), false);
  for (const index_t skipped : {nearest, nearest0, nearest1}) visited[skipped] = true;
  std::deque<EdgeVertex> queue{{nearest, 0}, {nearest, 1}};
  while (!queue.empty()) {
    const EdgeVertex end = queue.front();
    queue.pop_front();
    for (auto const& around : curve.edges_around_vertex(curve.edge_vertex(end))) {
      if (visited[around.edge_id]) continue;
      visited[around.edge_id] = true;
      const Point<3> barycenter = curve.edge_barycenter(around.edge_id);
      if (is_split_valid(other_surface, edge, barycenter)) return barycenter;
      queue.push_back(around.opposite());
    }
  }
  return point;
}

}  // namespace detail
}  // namespace tarnix
