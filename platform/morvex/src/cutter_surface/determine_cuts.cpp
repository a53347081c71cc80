#include <algorithm>
#include <cmath>
#include <utility>

#include <morvex/common/snapping.h>
#include <morvex/cutter_surface/determine_cuts.h>

namespace tarnix {
namespace {

//! x = hi + lo exactly.
struct TwoTerm {
  double hi;
  double lo;
};

//! a − b as an exact two-term sum.
TwoTerm two_diff(double a, double b) {
  const double x = a - b;
  const double b_virtual = a - x;
  const double a_virtual = x + b_virtual;
  return {x, (a - a_virtual) + (b_virtual - b)};
}

//! cross(b − a, c − a) with the differences kept exact and the products
//! compensated: far more accurate than the plain formula, whose absolute
//! error grows with |b − a| · |c − a| and would swamp the distance of c to
//! the line of a long cut.
double accurate_cross(Point<2> const& a, Point<2> const& b, Point<2> const& c) {
  const TwoTerm ux = two_diff(b.value(0), a.value(0));
  const TwoTerm uy = two_diff(b.value(1), a.value(1));
  const TwoTerm vx = two_diff(c.value(0), a.value(0));
  const TwoTerm vy = two_diff(c.value(1), a.value(1));
  const double p = ux.hi * vy.hi;
  const double p_error = std::fma(ux.hi, vy.hi, -p);
  const double q = uy.hi * vx.hi;
  const double q_error = std::fma(uy.hi, vx.hi, -q);
  const TwoTerm head = two_diff(p, q);
  const double tail =
      (p_error - q_error) + (ux.hi * vy.lo + ux.lo * vy.hi) - (uy.hi * vx.lo + uy.lo * vx.hi);
  return head.hi + (head.lo + tail);
}

GeometricSurfacePath<2> vertex_item(TriangulatedSurface<2> const& surface, PolygonEdge const& edge,
                                    index_t vertex) {
  return {edge, surface.point(vertex), vertex};
}

//! The vertex item of an end of `edge`, named with the edge of the same
//! triangle that starts at it.
GeometricSurfacePath<2> end_item(TriangulatedSurface<2> const& surface, PolygonEdge const& edge,
                                 index_t end) {
  if (surface.polygon_edge_vertex(edge, 0) == end) return vertex_item(surface, edge, end);
  return vertex_item(surface, surface.next_polygon_edge(edge), end);
}

//! The item of a crossing of `edge` by the segment a-b, and whether it was
//! snapped to an end of the edge.
std::pair<GeometricSurfacePath<2>, bool> crossing_item(TriangulatedSurface<2> const& surface,
                                                       Point<2> const& a, Point<2> const& b,
                                                       PolygonEdge const& edge) {
  const auto vertices = surface.polygon_edge_vertices(edge);
  Point<2> const& u = surface.point(vertices[0]);
  Point<2> const& v = surface.point(vertices[1]);
  const double side_u = accurate_cross(a, b, u);
  const double side_v = accurate_cross(a, b, v);
  const double denominator = side_u - side_v;
  // Parameters of the crossing from u (to_u) and from v (to_v), each
  // computed directly so that the point near either end is accurate.
  double to_u = 0.0;
  double to_v = 1.0;
  if (denominator != 0.0) {
    to_u = std::min(std::max(side_u / denominator, 0.0), 1.0);
    to_v = std::min(std::max(-side_v / denominator, 0.0), 1.0);
  }
  if (to_u <= detail::SNAPPING_RELATIVE_EPSILON)
    return {end_item(surface, edge, vertices[0]), true};
  if (to_v <= detail::SNAPPING_RELATIVE_EPSILON)
    return {end_item(surface, edge, vertices[1]), true};
  const Point<2> point = to_u <= to_v ? u + (v - u) * to_u : v + (u - v) * to_v;
  return {{edge, point, NO_ID}, false};
}

}  // namespace

std::vector<GeometricSurfacePath<2>> determine_cuts(TriangulatedSurface<2> const& surface,
                                                    index_t a, index_t b,
                                                    absl::Span<SurfacePath const> paths) {
  Point<2> const& start = surface.point(a);
  Point<2> const& stop = surface.point(b);
  std::vector<GeometricSurfacePath<2>> cuts;
  std::vector<bool> is_snapped;
  cuts.reserve(paths.size());
  for (auto const& path : paths) {
    bool snapped = false;
    if (path.vertex != NO_ID) {
      cuts.push_back(vertex_item(surface, path.edge, path.vertex));
    } else if (path.position == Position::inside) {
      auto item = crossing_item(surface, start, stop, path.edge);
      cuts.push_back(item.first);
      snapped = item.second;
    } else if (path.position == Position::vertex1) {
      cuts.push_back(end_item(surface, path.edge, surface.polygon_edge_vertex(path.edge, 1)));
    } else {
      cuts.push_back(vertex_item(surface, path.edge, surface.polygon_edge_vertex(path.edge, 0)));
    }
    is_snapped.push_back(snapped);
  }
  // A segment that passes within the epsilon of a vertex w may cross other
  // edges at w farther from it, when they run nearly along the segment.
  // Those crossings go to w as well: the cut then passes through w instead
  // of leaving slivers beside it.
  const auto absorb = [&surface, &cuts](std::size_t from, std::size_t item) {
    const index_t vertex = cuts[from].vertex;
    auto& cut = cuts[item];
    if (cut.vertex != NO_ID) return false;
    const auto ends = surface.polygon_edge_vertices(cut.edge);
    if (ends[0] != vertex && ends[1] != vertex) return false;
    cut = end_item(surface, cut.edge, vertex);
    return true;
  };
  for (std::size_t item = 0; item < cuts.size(); ++item) {
    if (!is_snapped[item]) continue;
    std::size_t before = item;
    while (before > 0 && absorb(item, before - 1)) --before;
    std::size_t after = item + 1;
    while (after < cuts.size() && absorb(item, after)) ++after;
  }
  return cuts;
}

}  // namespace tarnix
