#include <tarnix/surface2d/propagate_along_line.h>

#include <cstddef>

#include <absl/strings/str_cat.h>

#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/position.h>

namespace tarnix {
namespace detail {
namespace {

//! The step out of the triangle entered through `entry`. The first vertex of
//! the entry edge lies on side0 of the line, so the side of the opposite
//! vertex alone decides the exit.
SurfacePath next_line_crossing(TriangulatedSurface<2> const& surface, InfiniteLine<2> const& line,
                               PolygonEdge const& entry) {
  const PolygonVertex opposite = surface.previous_polygon_vertex(PolygonVertex{entry});
  const index_t o = surface.polygon_vertex(opposite);
  switch (point_side_to_line(surface.point(o), line)) {
    case Side::on_line:
      return {PolygonEdge{opposite}, Position::vertex0, o, true};
    case Side::side0:
      return {surface.next_polygon_edge(entry), Position::inside, NO_ID, true};
    default:
      return {surface.previous_polygon_edge(entry), Position::inside, NO_ID, true};
  }
}

//! Where the line crosses the step's edge, or the edge's midpoint when it
//! does not cross it at one point.
Point<2> path_edge_line_point(TriangulatedSurface<2> const& surface, InfiniteLine<2> const& line,
                              SurfacePath const& path) {
  const auto vertices = surface.polygon_edge_vertices(path.edge);
  const Segment<2> segment{surface.point(vertices[0]), surface.point(vertices[1])};
  const auto intersection = segment_line_intersection(segment, line);
  if (intersection.type == IntersectionType::intersect) return intersection.result.value();
  return segment.barycenter();
}

}  // namespace

PropagateAlongLine2D::PropagateAlongLine2D(FrontalRemesher2D const& frontal_remesher,
                                           InfiniteLine<2> const& walked_line)
    : SurfacePathFinder<2>(frontal_remesher.input_surface()),
      remesher(frontal_remesher),
      line(walked_line) {}

PropagateAlongLine2D::~PropagateAlongLine2D() = default;

absl::optional<SurfacePathStack> PropagateAlongLine2D::along_line(
    absl::Span<OrientedPolygonEdge const> edges, double distance) const {
  SurfacePathStack paths = find_first_path(edges);
  if (paths.empty()) return absl::nullopt;
  // The next step depends on the entry edge alone, so a walk that takes more
  // steps than there are polygon edges repeats itself and never ends.
  const std::size_t bound = std::size_t{3} * surface().nb_polygons();
  std::size_t nb_steps = 0;
  while (!stop_propagation(paths.top(), line.origin(), distance)) {
    if (++nb_steps > bound) {
      throw UlvaneException("[PropagateAlongLine2D::along_line] The walk goes round without end",
                            absl::StrCat(" after ", bound, " steps"));
    }
    // stop_propagation has checked that the edge has a twin.
    const PolygonEdge entry = *surface().polygon_adjacent_edge(paths.top().edge);
    paths.push(next_line_crossing(surface(), line, entry));
  }
  return paths;
}

SurfacePathStack PropagateAlongLine2D::find_first_path(
    absl::Span<OrientedPolygonEdge const> edges) const {
  SurfacePathStack paths;
  for (auto const& edge : edges) {
    const Position position =
        segment_line_intersection_detection(oriented_edge_segment(edge), line);
    if (position == Position::outside) continue;
    paths.push({edge.edge, position, NO_ID, true});
    if (position == Position::inside) {
      // The chain edge is marked on the covered side; the uncovered side is
      // its twin's triangle, or its own on the border.
      const PolygonEdge entry = surface().polygon_adjacent_edge(edge.edge).value_or(edge.edge);
      paths.push(next_line_crossing(surface(), line, entry));
      return paths;
    }
    const auto vertices = surface().polygon_edge_vertices(edge.edge);
    const bool at_second = position == Position::vertex1;
    const index_t vertex = edge.forward == at_second ? vertices[1] : vertices[0];
    paths.top().vertex = vertex;
    for (auto const& corner : surface().polygons_around_vertex(vertex)) {
      if (remesher.triangle_info(corner.polygon_id) != NO_ID) continue;
      const PolygonEdge opposite = surface().next_polygon_edge(PolygonEdge{corner});
      const Position crossing = segment_line_intersection_detection(edge_segment(opposite), line);
      if (crossing != Position::outside) {
        paths.push({opposite, crossing, NO_ID, true});
        break;
      }
    }
    return paths;
  }
  return paths;
}

Segment<2> PropagateAlongLine2D::oriented_edge_segment(OrientedPolygonEdge const& edge) const {
  const auto vertices = surface().polygon_edge_vertices(edge.edge);
  if (edge.forward) return {surface().point(vertices[0]), surface().point(vertices[1])};
  return {surface().point(vertices[1]), surface().point(vertices[0])};
}

bool PropagateAlongLine2D::stop_propagation(SurfacePath const& path, Point<2> const& origin,
                                            double distance) const {
  if (path.vertex != NO_ID) return true;
  const auto vertices = surface().polygon_edge_vertices(path.edge);
  const bool leaves_disc =
      point_point_distance<2>(surface().point(vertices[0]), origin) > distance ||
      point_point_distance<2>(surface().point(vertices[1]), origin) > distance;
  if (leaves_disc &&
      point_point_distance<2>(path_edge_line_point(surface(), line, path), origin) > distance) {
    return true;
  }
  const auto adjacent = surface().polygon_adjacent(path.edge);
  if (!adjacent) return true;
  return remesher.triangle_info(*adjacent) != NO_ID;
}

}  // namespace detail
}  // namespace tarnix
