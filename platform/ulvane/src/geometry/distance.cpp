#include <ulvane/geometry/distance.h>

#include <algorithm>
#include <cmath>

#include "exact_sides.h"

namespace tarnix {
namespace {

// The closest point of a non-degenerate triangle, by the Voronoi regions of
// its vertices, edges and face (Ericson, "Real-Time Collision Detection",
// 5.1.5). Empty when the face region's denominator vanishes, which happens
// only for a (nearly) zero-area triangle.
absl::optional<Point<3>> closest_triangle_point(Point<3> const& p, Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  Point<3> const& a = v[0];
  Point<3> const& b = v[1];
  Point<3> const& c = v[2];
  Vector<3> const ab{a, b};
  Vector<3> const ac{a, c};
  Vector<3> const ap{a, p};
  double const d1 = ab.dot(ap);
  double const d2 = ac.dot(ap);
  if (d1 <= 0.0 && d2 <= 0.0) return a;
  Vector<3> const bp{b, p};
  double const d3 = ab.dot(bp);
  double const d4 = ac.dot(bp);
  if (d3 >= 0.0 && d4 <= d3) return b;
  double const vc = d1 * d4 - d3 * d2;
  if (vc <= 0.0 && d1 >= 0.0 && d3 <= 0.0 && d1 - d3 > 0.0) {
    return a + ab * (d1 / (d1 - d3));
  }
  Vector<3> const cp{c, p};
  double const d5 = ab.dot(cp);
  double const d6 = ac.dot(cp);
  if (d6 >= 0.0 && d5 <= d6) return c;
  double const vb = d5 * d2 - d1 * d6;
  if (vb <= 0.0 && d2 >= 0.0 && d6 <= 0.0 && d2 - d6 > 0.0) {
    return a + ac * (d2 / (d2 - d6));
  }
  double const va = d3 * d6 - d5 * d4;
  double const bc_low = d4 - d3;
  double const bc_high = d5 - d6;
  if (va <= 0.0 && bc_low >= 0.0 && bc_high >= 0.0 && bc_low + bc_high > 0.0) {
    return b + Vector<3>{b, c} * (bc_low / (bc_low + bc_high));
  }
  double const total = va + vb + vc;
  if (!(total > 0.0) || !std::isfinite(total)) return absl::nullopt;
  return a + ab * (vb / total) + ac * (vc / total);
}

}  // namespace

std::tuple<double, Point<3>> point_triangle_distance(Point<3> const& point,
                                                     Triangle<3> const& triangle) {
  auto const& v = triangle.vertices();
  if (!detail::are_collinear(v[0], v[1], v[2])) {
    if (auto const closest = closest_triangle_point(point, triangle)) {
      return std::make_tuple(point_point_distance(point, *closest), *closest);
    }
  }
  auto best = point_segment_projection(point, Segment<3>{v[0], v[1]});
  for (int i = 1; i < 3; ++i) {
    auto const candidate = point_segment_projection(point, Segment<3>{v[i], v[(i + 1) % 3]});
    if (std::get<0>(candidate) < std::get<0>(best)) best = candidate;
  }
  return best;
}

std::tuple<double, Point<3>> point_plane_distance(Point<3> const& point, Plane const& plane) {
  Vector<3> const unit = plane.normal().normalize();
  double const length = plane.normal().length();
  double const signed_distance =
      (plane.normal().dot(Vector<3>{point}) + plane.plane_constant()) / length;
  return std::make_tuple(std::fabs(signed_distance), point - unit * signed_distance);
}

}  // namespace tarnix
