// The ideal apex of a front edge and the candidate vertices near it.

#include <tarnix/surface2d/frontal_remesher.h>

#include <algorithm>
#include <cmath>

#include <absl/container/inlined_vector.h>

#include <common/variable_attribute.h>
#include <morvex/modifier_surface/triangulated_surface_epsilon_modifier.h>
#include <tarnix/surface2d/propagate_along_line.h>
#include <ulvane/geometry/distance.h>
#include <ulvane/geometry/intersection.h>
#include <ulvane/geometry/vector.h>

namespace tarnix {
namespace detail {
namespace {

// Crossings closer than this (times the tolerance scale) are taken as one.
constexpr double CROSSING_MERGE_DISTANCE = 1e-6;
// Vertices this close (times the tolerance scale) to an end of the front
// edge are no candidates.
constexpr double END_EXCLUSION_DISTANCE = 1e-6;

// The perpendicular bisector of the front edge, through its midpoint and
// pointing to the side the edge's triangle already covers.
InfiniteLine<2> bisector(FrontEdge const& edge) {
  const Point<2> middle = (edge.start_point + edge.end_point) * 0.5;
  return InfiniteLine<2>{perpendicular(Vector<2>{edge.end_point, edge.start_point}), middle};
}

// Where the line crosses the step's edge; the edge's midpoint when the line
// does not cross it at one point.
Point<2> crossing_point(TriangulatedSurface<2> const& mesh, SurfacePath const& path,
                        InfiniteLine<2> const& line) {
  const auto vertices = mesh.polygon_edge_vertices(path.edge);
  const Segment<2> segment{mesh.point(vertices[0]), mesh.point(vertices[1])};
  const auto intersection = segment_line_intersection(segment, line);
  if (intersection.type == IntersectionType::intersect) return intersection.result.value();
  return segment.barycenter();
}

}  // namespace

absl::optional<SurfacePathStack> FrontalRemesher2D::propagate_along_line(
    FrontEdge const& edge, InfiniteLine<2> const& line, double distance) const {
  const PropagateAlongLine2D walk(*this, line);
  return walk.along_line(macro_edge_chain(edge.start, edge.end, edge.macro_edge), distance);
}

absl::optional<ApexPoint> FrontalRemesher2D::ideal_point(FrontEdge const& edge) const {
  const Point<2> middle = (edge.start_point + edge.end_point) * 0.5;
  const InfiniteLine<2> line = bisector(edge);
  // The distance from the midpoint that makes both new sides `size` long.
  const double d = std::sqrt(edge.size * edge.size - edge.length * edge.length * 0.25);
  auto steps = propagate_along_line(edge, line, d);
  if (!steps) return absl::nullopt;
  const SurfacePath last = steps->top();
  const Point<2> q1 = crossing_point(input_mesh, last, line);
  const double beyond = point_point_distance<2>(middle, q1);
  if (beyond > d) {
    // A lone crossing beyond the distance leaves nothing to interpolate with.
    if (steps->size() < 2) return absl::nullopt;
    steps->pop();
    const Point<2> q2 = crossing_point(input_mesh, steps->top(), line);
    Point<2> point = q2;
    if (point_point_distance<2>(q1, q2) >= CROSSING_MERGE_DISTANCE * tolerance_scale) {
      const double within = point_point_distance<2>(middle, q2);
      const double t = (d - within) / (beyond - within);
      point = q2 + (q1 - q2) * t;
    }
    const unsigned int triangle = last.edge.polygon_id;
    if (const auto snapped = snap_to_polygon_vertex(triangle, point)) {
      return ApexPoint{snapped->second, triangle, snapped->first};
    }
    return ApexPoint{point, triangle, NO_ID};
  }
  // The walk stopped within the distance: at a vertex, at the border or
  // before a covered triangle.
  const auto twin = input_mesh.polygon_adjacent_edge(last.edge);
  return ApexPoint{q1, last.edge.polygon_id, macro_edge_of(twin ? *twin : last.edge)};
}

absl::optional<std::pair<unsigned int, Point<2>>> FrontalRemesher2D::snap_to_polygon_vertex(
    unsigned int t, Point<2> const& point) const {
  const auto k = snapping_detection<2>(input_mesh, t, point);
  if (!k) return absl::nullopt;
  const PolygonEdge leaving{t, *k};
  const PolygonEdge entering{t, static_cast<local_index_t>((*k + 2) % 3)};
  unsigned int macro_edge = NO_ID;
  for (auto const& edge : {leaving, entering}) {
    if (const auto twin = input_mesh.polygon_adjacent_edge(edge)) {
      macro_edge = macro_edge_of(*twin);
      if (macro_edge != NO_ID) break;
    }
    macro_edge = macro_edge_of(edge);
    if (macro_edge != NO_ID) break;
  }
  return std::make_pair(macro_edge, input_mesh.point(input_mesh.polygon_vertex({t, *k})));
}

absl::optional<std::vector<BisectorCrossing>> FrontalRemesher2D::bisector_crossings(
    FrontEdge const& edge) const {
  const InfiniteLine<2> line = bisector(edge);
  auto steps = propagate_along_line(edge, line, edge.size);
  if (!steps || steps->size() < 2) return absl::nullopt;
  std::vector<BisectorCrossing> crossings;
  crossings.reserve(steps->size());
  while (!steps->empty()) {
    SurfacePath const& path = steps->top();
    const Point<2> point = path.vertex != NO_ID ? input_mesh.point(path.vertex)
                                                : crossing_point(input_mesh, path, line);
    crossings.push_back({path, point});
    steps->pop();
  }
  std::reverse(crossings.begin(), crossings.end());
  return crossings;
}

std::vector<CandidateVertex> FrontalRemesher<2>::candidate_vertices(FrontEdge const& edge,
                                                                    ApexPoint const& apex,
                                                                    double radius) const {
  const double exclusion = END_EXCLUSION_DISTANCE * tolerance_scale;
  std::vector<CandidateVertex> list;
  absl::InlinedVector<unsigned int, 16> stack{apex.triangle};
  IdMarks& visited = triangle_marks;
  visited.start(input_mesh.nb_polygons());
  visited.insert(apex.triangle);
  IdMarks& seen = vertex_marks;
  seen.start(input_mesh.nb_vertices());
  while (!stack.empty()) {
    const unsigned int f = stack.back();
    stack.pop_back();
    for (local_index_t k = 0; k < 3; ++k) {
      const unsigned int w = input_mesh.polygon_vertex({f, k});
      if (!seen.insert(w)) continue;
      // Most vertices of a fine input carry no output vertex: test that
      // before measuring.
      if (w == edge.start || w == edge.end || !has_output_vertex(w)) continue;
      Point<2> const& p = input_mesh.point(w);
      const double distance = point_point_distance<2>(apex.point, p);
      if (radius > distance && point_point_distance<2>(edge.start_point, p) > exclusion &&
          point_point_distance<2>(edge.end_point, p) > exclusion) {
        list.push_back({w, distance});
      }
    }
    for (local_index_t i = 0; i < 3; ++i) {
      const PolygonEdge e{f, i};
      auto const& own = edge_lists(f)[i];
      if (std::find(own.begin(), own.end(), edge.macro_edge) != own.end()) continue;
      if (input_mesh.is_edge_on_border(e)) continue;
      const unsigned int g = input_mesh.polygon_adjacent(e).value();
      if (!visited.insert(g)) continue;
      const auto vertices = input_mesh.polygon_edge_vertices(e);
      const Segment<2> segment{input_mesh.point(vertices[0]), input_mesh.point(vertices[1])};
      if (!is_triangle_covered(g) && radius > point_segment_distance<2>(apex.point, segment)) {
        stack.push_back(g);
      }
    }
  }
  if (apex.macro_edge != NO_ID) {
    auto const& macro_edge = checked_at(macro_edges, apex.macro_edge);
    for (const unsigned int end : macro_edge) {
      const unsigned int v = modifier.updated_vertex(end);
      if (v == edge.start || v == edge.end) continue;
      list.push_back({v, point_point_distance<2>(apex.point, input_mesh.point(v))});
    }
  }
  std::sort(list.begin(), list.end(), [](CandidateVertex const& a, CandidateVertex const& b) {
    return a.distance < b.distance || (a.distance == b.distance && a.vertex < b.vertex);
  });
  list.erase(std::unique(list.begin(), list.end(),
                         [](CandidateVertex const& a, CandidateVertex const& b) {
                           return a.vertex == b.vertex;
                         }),
             list.end());
  return list;
}

bool FrontalRemesher<2>::try_candidates(FrontEdge& edge, ApexPoint const& apex, double radius) {
  const auto candidates = candidate_vertices(edge, apex, radius);
  if (candidates.empty()) {
    const auto inserted = modifier.insert_point_in_triangle(apex.triangle, apex.point);
    SplitTriangleInfo const& info = inserted.second;
    merge_edge_info(info.interior_edges);
    merge_edge_info(info.replacing_edges);
    update_edge_vertices(edge);
    // The point could not be placed in the triangle: nothing to try.
    if (info.vertex == NO_ID) return false;
    return try_vertex(edge, info.vertex);
  }
  for (auto const& candidate : candidates) {
    if (try_vertex(edge, candidate.vertex)) return true;
  }
  return false;
}

}  // namespace detail
}  // namespace tarnix
