#pragma once

//! Out-of-line members of `PropagateAlongSurfaceMacroEdge`. Included by the
//! one translation unit that instantiates the template for dimension 2.

#include <cstddef>

#include <absl/strings/str_cat.h>

#include <tarnix/surface2d/frontal_remesher.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>
#include <vantrel/surface_common/propagate_along_surface_macro_edge.h>

namespace tarnix {

template <index_t D>
PropagateAlongSurfaceMacroEdge<D>::PropagateAlongSurfaceMacroEdge(
    detail::FrontalRemesher<D> const& remesher, index_t begin, index_t end)
    : SurfaceSegmentFinder<D>(remesher.input_surface(), begin, end), remesher_(remesher) {}

template <index_t D>
absl::optional<std::vector<SurfacePath>> PropagateAlongSurfaceMacroEdge<D>::along_segment() const {
  static_assert(D == 2, "the segment walk is planar");
  if (this->begin() == this->end()) return absl::nullopt;
  auto const& surface = this->surface();
  // Each step follows from the previous one alone (its edge or vertex), so a
  // walk with more steps than polygon edges and vertices repeats itself and
  // never ends. With exact side tests it moves forward and stays far below.
  const std::size_t bound = std::size_t{3} * surface.nb_polygons() + surface.nb_vertices();
  std::vector<SurfacePath> steps;
  // A side crosses a few edges: one allocation for most walks.
  steps.reserve(16);
  absl::optional<SurfacePath> step = leave_vertex(this->begin());
  while (step) {
    if (steps.size() > bound) {
      throw UlvaneException(
          "[PropagateAlongSurfaceMacroEdge::along_segment] The walk from vertex ",
          absl::StrCat(this->begin(), " to vertex ", this->end(), " goes round without end"));
    }
    steps.push_back(*step);
    if (step->vertex == this->end()) return steps;
    if (step->vertex != NO_ID) {
      if (is_on_marked_edge(step->vertex)) return absl::nullopt;
      step = leave_vertex(step->vertex);
      continue;
    }
    if (!may_cross(step->edge)) return absl::nullopt;
    step = next_intersection(*surface.polygon_adjacent_edge(step->edge));
  }
  return absl::nullopt;
}

template <index_t D>
absl::optional<SurfacePath> PropagateAlongSurfaceMacroEdge<D>::leave_vertex(index_t w) const {
  auto const& surface = this->surface();
  Point<2> const& origin = surface.point(w);
  Point<2> const& target = surface.point(this->end());
  for (auto const& corner : surface.polygons_around_vertex(w)) {
    const PolygonVertex next = surface.next_polygon_vertex(corner);
    const PolygonVertex previous = surface.previous_polygon_vertex(corner);
    // The corner (w, next, previous) is counter-clockwise: it holds the
    // direction to b when b is left of or on w->next and right of or on
    // w->previous. Triangles behind w are skipped this way.
    if (orientation_2d(origin, surface.point(surface.polygon_vertex(next)), target) ==
            Sign::negative ||
        orientation_2d(origin, surface.point(surface.polygon_vertex(previous)), target) ==
            Sign::positive) {
      continue;
    }
    const PolygonEdge opposite{next};
    switch (segment_intersects(this->edge_segment(opposite))) {
      case Position::inside:
        if (is_covered(corner.polygon_id)) return absl::nullopt;
        return SurfacePath{opposite, Position::inside, NO_ID, true};
      case Position::vertex0:
        // Along the edge from w to `next`.
        if (is_edge_covered(PolygonEdge{corner})) return absl::nullopt;
        return SurfacePath{opposite, Position::vertex0, surface.polygon_vertex(next), true};
      case Position::vertex1:
        // Along the edge from `previous` to w.
        if (is_edge_covered(PolygonEdge{previous})) return absl::nullopt;
        return SurfacePath{PolygonEdge{previous}, Position::vertex0,
                           surface.polygon_vertex(previous), true};
      default:
        // b lies short of the opposite edge: only on an inconsistent surface.
        break;
    }
  }
  return absl::nullopt;
}

template <index_t D>
bool PropagateAlongSurfaceMacroEdge<D>::may_cross(PolygonEdge const& edge) const {
  auto const& surface = this->surface();
  const auto twin = surface.polygon_adjacent_edge(edge);
  if (!twin || is_marked(edge) || is_covered(twin->polygon_id)) return false;
  const auto vertices = surface.polygon_edge_vertices(edge);
  Point<D> const& p0 = surface.point(vertices[0]);
  Point<D> const& p1 = surface.point(vertices[1]);
  return is_edge_intersection_ok(p0, p1) && is_edge_orientation_ok(p0, p1);
}

template <index_t D>
bool PropagateAlongSurfaceMacroEdge<D>::is_marked(PolygonEdge const& edge) const {
  if (!remesher().edge_info(edge).empty()) return true;
  const auto twin = this->surface().polygon_adjacent_edge(edge);
  return twin && !remesher().edge_info(*twin).empty();
}

template <index_t D>
bool PropagateAlongSurfaceMacroEdge<D>::is_on_marked_edge(index_t w) const {
  auto const& surface = this->surface();
  for (auto const& corner : surface.polygons_around_vertex(w)) {
    const PolygonEdge leaving{corner};
    if (is_marked(leaving) || is_marked(surface.previous_polygon_edge(leaving))) return true;
  }
  return false;
}

template <index_t D>
bool PropagateAlongSurfaceMacroEdge<D>::is_covered(index_t triangle) const {
  return remesher().triangle_info(triangle) != NO_ID;
}

template <index_t D>
bool PropagateAlongSurfaceMacroEdge<D>::is_edge_covered(PolygonEdge const& edge) const {
  if (!is_covered(edge.polygon_id)) return false;
  const auto twin = this->surface().polygon_adjacent_edge(edge);
  return !twin || is_covered(twin->polygon_id);
}

}  // namespace tarnix
