#include <cmath>

#include <absl/strings/str_cat.h>

#include <morvex/cutter_surface/straight_surface_path.h>
#include <morvex/cutter_surface/surface_path_finder.h>
#include <ulvane/basic/ulvane_exception.h>
#include <ulvane/geometry/predicates.h>

namespace tarnix {
namespace detail {
namespace {

//! The plain walk: a segment finder with the stepping rules documented in
//! the header.
class StraightSurfaceWalk : public SurfaceSegmentFinder<2> {
 public:
  using SurfaceSegmentFinder<2>::SurfaceSegmentFinder;

  absl::optional<std::vector<SurfacePath>> walk() const {
    if (begin() == end()) return absl::nullopt;
    std::vector<SurfacePath> path;
    // Every step moves strictly forward along the segment, so a triangle is
    // crossed and a vertex passed at most once; only a folded (clockwise)
    // or badly glued surface can make the walk go on.
    const std::size_t bound = std::size_t{surface().nb_polygons()} + surface().nb_vertices();
    absl::optional<SurfacePath> step = leave_vertex(begin());
    while (step) {
      if (path.size() > bound) {
        throw UlvaneException("[find_straight_surface_path] The walk from vertex ",
                              absl::StrCat(begin(), " to vertex ", end(),
                                           " does not end; the surface is inconsistent"));
      }
      path.push_back(*step);
      if (step->vertex == end()) return path;
      if (step->vertex != NO_ID) {
        step = leave_vertex(step->vertex);
        continue;
      }
      const auto entry = surface().polygon_adjacent_edge(step->edge);
      if (!entry) return absl::nullopt;
      step = cross_triangle(*entry);
    }
    return absl::nullopt;
  }

 private:
  Point<2> const& point(index_t vertex) const { return surface().point(vertex); }

  //! True when `middle`, collinear with `from` and `to`, lies between them
  //! (`to` included). Coordinates are compared, so the test is exact.
  static bool is_between(Point<2> const& from, Point<2> const& middle, Point<2> const& to) {
    const index_t axis =
        std::fabs(to.value(0) - from.value(0)) >= std::fabs(to.value(1) - from.value(1)) ? 0 : 1;
    const double f = from.value(axis);
    const double m = middle.value(axis);
    const double t = to.value(axis);
    return f < t ? f < m && m <= t : t <= m && m < f;
  }

  SurfacePath vertex_step(PolygonEdge const& edge, index_t vertex) const {
    return {edge, Position::vertex0, vertex, true};
  }

  //! The step out of vertex w towards b: through the first triangle of w's
  //! fan whose corner at w holds the direction to b.
  absl::optional<SurfacePath> leave_vertex(index_t w) const {
    Point<2> const& target = point(end());
    Point<2> const& origin = point(w);
    for (auto const& corner : surface().polygons_around_vertex(w)) {
      const PolygonVertex next = surface().next_polygon_vertex(corner);
      const PolygonVertex previous = surface().previous_polygon_vertex(corner);
      const index_t p = surface().polygon_vertex(next);
      const index_t q = surface().polygon_vertex(previous);
      // The corner (w, p, q) is counter-clockwise: b lies in it when it is
      // left of or on w->p and right of or on w->q.
      const Sign side_p = orientation_2d(origin, point(p), target);
      const Sign side_q = orientation_2d(origin, point(q), target);
      if (side_p == Sign::negative || side_q == Sign::positive) continue;
      if (side_p == Sign::zero) {
        if (!is_between(origin, point(p), target)) return absl::nullopt;
        return vertex_step(PolygonEdge{next}, p);
      }
      if (side_q == Sign::zero) {
        if (!is_between(origin, point(q), target)) return absl::nullopt;
        return vertex_step(PolygonEdge{previous}, q);
      }
      // b strictly inside the corner: it must lie beyond the opposite edge,
      // or b would be inside the triangle.
      if (orientation_2d(point(p), point(q), target) != Sign::negative) return absl::nullopt;
      return SurfacePath{PolygonEdge{next}, Position::inside, NO_ID, true};
    }
    return absl::nullopt;
  }

  //! The step out of the triangle entered through `entry`. The entry edge
  //! starts left of a->b, so the exit is decided by the side of the opposite
  //! vertex alone.
  SurfacePath cross_triangle(PolygonEdge const& entry) const {
    const PolygonVertex opposite = surface().previous_polygon_vertex(PolygonVertex{entry});
    const index_t o = surface().polygon_vertex(opposite);
    switch (orientation_2d(point(begin()), point(end()), point(o))) {
      case Sign::positive:
        return {surface().next_polygon_edge(entry), Position::inside, NO_ID, true};
      case Sign::negative:
        return {surface().previous_polygon_edge(entry), Position::inside, NO_ID, true};
      case Sign::zero:
        break;
    }
    return vertex_step(PolygonEdge{opposite}, o);
  }
};

}  // namespace

absl::optional<std::vector<SurfacePath>> find_straight_surface_path(
    TriangulatedSurface<2> const& surface, index_t a, index_t b) {
  return StraightSurfaceWalk{surface, a, b}.walk();
}

}  // namespace detail
}  // namespace tarnix
