// A duplicated edge pair is taken apart by splitting each edge near its own
// input surface, or by swapping it when the point tried is a vertex
// opposite the edge.

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include <absl/types/optional.h>

#include <ulvane/geometry/distance.h>

#include "brep/aabb_traversal.h"
#include "brep/repair/surface_intersection_repairer.h"

namespace tarnix {
namespace detail {
namespace {

// A candidate this close to a vertex opposite the edge would make a flat
// triangle: the edge is swapped instead.
constexpr double apex_distance = 1e-6;
// The double just below 1e-5: candidates nearer the target are not tried.
constexpr double target_distance = 9.999999999999999e-6;

// Whether the triangle is flat to within the rounding of its points: its
// height above its longest side is below 64 units in the last place of its
// largest coordinate, or below 1e-12 of that side. The exact orientation
// test passes such a triangle, but its normal and shape are rounding noise.
bool is_flat_to_rounding(Point<3> const& a, Point<3> const& b, Point<3> const& c) {
  const Vector<3> ab{a, b};
  const Vector<3> ac{a, c};
  const double longest =
      std::sqrt(std::max({ab.length2(), ac.length2(), Vector<3>{b, c}.length2()}));
  double magnitude = 0.0;
  for (auto const* point : {&a, &b, &c}) {
    for (index_t i = 0; i < 3; ++i) magnitude = std::max(magnitude, std::abs(point->value(i)));
  }
  const double height_bound =
      std::max(1e-12 * longest, 64.0 * std::numeric_limits<double>::epsilon() * magnitude);
  return !(ab.cross(ac).length() > height_bound * longest);
}

// Whether splitting the edge at the point leaves a triangle, on either side
// of the edge in the mesh, that is flat to within rounding.
bool split_leaves_flat_triangle(TriangulatedSurface<3> const& mesh, PolygonEdge const& edge,
                                Point<3> const& point) {
  const auto ends = mesh.polygon_edge_vertices(edge);
  const Point<3>& first = mesh.point(ends[0]);
  const Point<3>& second = mesh.point(ends[1]);
  const auto opposite = [&mesh](PolygonEdge const& side) {
    return mesh.point(
        mesh.polygon_vertex({side.polygon_id, static_cast<local_index_t>((side.edge_id + 2) % 3)}));
  };
  const auto flat_beside = [&](Point<3> const& apex) {
    return is_flat_to_rounding(first, point, apex) || is_flat_to_rounding(point, second, apex);
  };
  if (flat_beside(opposite(edge))) return true;
  const auto twin = mesh.polygon_adjacent_edge(edge);
  return twin && flat_beside(opposite(*twin));
}

}  // namespace

std::pair<Point<3>, index_t> SurfacePairRepair::project_midpoint(
    Surface<3> const& side_surface, TriangulatedSurface<3> const& mesh,
    TriangulatedSurface<3> const& side_input_mesh, PolygonEdge const& edge) {
  const Point<3> midpoint = mesh.edge_barycenter(edge);
  DistanceToTriangle<3> distance{side_input_mesh};
  const auto closest =
      repairer.input_surface_tree(side_surface).closest_element(midpoint, distance);
  return {std::get<1>(closest), std::get<0>(closest)};
}

std::pair<Point<3>, index_t> SurfacePairRepair::project_edge_midpoint(PolygonEdge const& edge) {
  return project_midpoint(surface, surface_mesh, input_mesh, edge);
}

std::pair<Point<3>, index_t> SurfacePairRepair::project_other_edge_midpoint(
    PolygonEdge const& edge) {
  return project_midpoint(other_surface, other_surface_mesh, other_input_mesh, edge);
}

bool SurfacePairRepair::is_split_valid(Surface<3> const& split_surface, PolygonEdge const& edge,
                                       Point<3> const& point) {
  const auto result = is_split_edge_valid(repairer.output, split_surface, edge, point);
  // The other problems are splits the modifier cannot make (its triangles
  // glued twice, a removed triangle) or that leave a flat triangle (the
  // point at an end of the edge or in line with it and a vertex across):
  // no consistent normal excuses them.
  if (!result.problems.empty()) return false;
  if (split_leaves_flat_triangle(dynamic_cast<TriangulatedSurface<3> const&>(split_surface.mesh()),
                                 edge, point)) {
    return false;
  }
  for (auto const& folds : result.folds) {
    auto const& fold_surface = repairer.output.surface(folds.first);
    for (auto const& fold : folds.second) {
      if (!is_split_normal_consistent(fold_surface, fold)) return false;
    }
  }
  return true;
}

bool SurfacePairRepair::is_split_normal_consistent(Surface<3> const& edge_surface,
                                                   PolygonEdge const& edge) {
  auto const& mesh = dynamic_cast<TriangulatedSurface<3> const&>(edge_surface.mesh());
  auto const& side_input_mesh = dynamic_cast<TriangulatedSurface<3> const&>(
      repairer.input.surface(input_surface_id(repairer.remeshing_data, edge_surface).id())
          .mesh());
  auto const& tree = repairer.input_surface_tree(edge_surface);
  DistanceToTriangle<3> distance{side_input_mesh};
  Vector<3> sum;
  for (local_index_t k = 0; k < 2; ++k) {
    const Point<3>& point = mesh.point(mesh.polygon_edge_vertex(edge, k));
    const index_t nearest = std::get<0>(tree.closest_element(point, distance));
    // An input surface without triangles gives no normal.
    if (nearest == NO_ID) continue;
    if (const auto normal = side_input_mesh.new_polygon_normal(nearest)) sum += *normal;
  }
  if (sum.length() <= 1e-6) return true;
  // A triangle without a normal faces nowhere: it excuses nothing.
  const auto own = mesh.new_polygon_normal(edge.polygon_id);
  if (own && own->dot(sum) < 0.0) return true;
  const auto across = mesh.polygon_adjacent(edge);
  if (!across) return false;
  const auto across_normal = mesh.new_polygon_normal(*across);
  return across_normal && across_normal->dot(sum) < 0.0;
}

absl::flat_hash_set<uuid> DuplicatedEdgePairRepair::repair_duplicated_edge_pair() {
  repair_side(surface, surface_mesh, input_mesh, edges.front());
  repair_side(other_surface, other_surface_mesh, other_input_mesh, other_edge);
  return modified_surfaces;
}

void DuplicatedEdgePairRepair::repair_side(Surface<3> const& side_surface,
                                           TriangulatedSurface<3> const& mesh,
                                           TriangulatedSurface<3> const& side_input_mesh,
                                           PolygonEdge const& edge) {
  auto& modifier = repairer.modifier;
  auto const& model = repairer.output;
  Point<3> target;
  index_t target_triangle;
  std::tie(target, target_triangle) =
      project_midpoint(side_surface, mesh, side_input_mesh, edge);
  if (target_triangle == NO_ID) return;
  if (!is_split_edge_valid(model, side_surface, edge, target).empty()) return;

  const Point<3> apex = mesh.point(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{edge})));
  // A border edge has a single apex.
  absl::optional<Point<3>> other_apex;
  if (const auto twin = mesh.polygon_adjacent_edge(edge)) {
    other_apex = mesh.point(mesh.polygon_vertex(mesh.previous_polygon_vertex(PolygonVertex{*twin})));
  }

  Point<3> candidate = side_input_mesh.polygon_barycenter(target_triangle);
  while (true) {
    const bool on_apex = point_point_distance(candidate, apex) <= apex_distance ||
                         (other_apex && point_point_distance(candidate, *other_apex) <= apex_distance);
    if (on_apex) {
      if (is_swap_edge_valid(model, side_surface, edge).empty()) {
        modifier.swap_edge(side_surface, edge);
        modified_surfaces.insert(side_surface.id());
        return;
      }
    } else if (repairer.may_split() &&
               is_split_edge_valid(model, side_surface, edge, candidate).empty()) {
      const auto info = repairer.split_edge(side_surface, edge, candidate);
      for (auto const& changed : info.surfaces) modified_surfaces.insert(changed.first);
      return;
    }
    const Point<3> halved = (candidate + target) * 0.5;
    // The halving stalls only when rounding keeps the candidate where it
    // is (coordinates far above the threshold) or on non-finite points.
    if (halved == candidate) return;
    candidate = halved;
    if (!(point_point_distance(candidate, target) > target_distance)) return;
  }
}

}  // namespace detail
}  // namespace tarnix
